// The delete action posted to a folder page. Every selection is resolved
// through the tree below the folder and must stay inside it: no "..", no
// absolute path, no symbolic link leading out of the folder's disk tree.
#include "config/options.h"
#include "log/log.h"
#include "serve/dispatch.h"
#include "serve/logPeer.h"
#include "serve/treeAccess.h"
#include "util/asciiCase.h"
#include "util/encodings.h"
#include "util/masks.h"
#include "vfs/comments.h"
#include "vfs/diskEntry.h"
#include "vfs/permissions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool isDotsSegment(QStringView s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c != u'.')
            return false;
    return true;
}

// The node below `folder` (in the tree, or as a temporary node on disk)
// that `rel` names; null when it is not strictly below.
TfilePtr resolveBelow(Tfile &folder, const QString &rel)
{
    if (rel.isEmpty() || rel.startsWith(u'/') || rel.contains(QChar(0)) || rel.contains(u'\\'))
        return {};
    for (const QString &seg : rel.split(u'/'))
        if (seg.isEmpty() || isDotsSegment(seg))
            return {};
    TfilePtr f = findInTree(rel, &folder);
    if (!f || f.data() == &folder || f->isRoot() || f->isLink() || f->resource.isEmpty())
        return {};
    for (const Tfile *p = f->parent(); p; p = p->parent())
        if (p == &folder)
            return f;
    // A temporary node's parent is its real folder: compare the disk trees.
    if (folder.isTemp() && f->isTemp() && f->resource.startsWith(folder.resource + u'/'))
        return f;
    return {};
}

} // namespace

void Tdispatch::deleteAction()
{
    if (conn.request().method != HM_POST || !sameText(cd.request.postVars.value(QStringLiteral("action")), u"delete"))
        return;
    if (!accountAllowed(FA_DELETE, &cd, node.data()))
        return;
    // Each target with the disk tree it must stay in (empty for a node the
    // operator put in the tree himself).
    QList<QPair<QString, QString>> targets;
    const auto treeOf = [](const Tfile &f) {
        if (f.isTemp())
            return f.parent() ? f.parent()->resource : QString(u'\0');
        return QString();
    };
    for (const auto &e : cd.request.postVars.entries()) {
        if (!sameText(e.name, u"selection"))
            continue;
        QString rel = decodeURL(e.value.section(u'#', 0, 0));
        while (rel.endsWith(u'/'))
            rel.chop(1);
        const qsizetype slash = rel.lastIndexOf(u'/');
        const QString last = rel.mid(slash + 1);
        if (last.contains(u'*') || last.contains(u'?')) {
            // A mask applies to the disk folder it names, inside the tree.
            TfilePtr dir = slash < 0 ? TfilePtr(node) : resolveBelow(*node, rel.left(slash));
            if (!dir || !dir->isRealFolder() || diskEntryKind(dir->resource) != DiskEntry::Folder)
                continue;
            for (const QString &n : listDiskFolder(dir->resource, DiskEntryFilter::FilesAndFolders))
                if (matchFileMask(last, n) && (opts().listHiddenFiles || !isHiddenName(n)))
                    targets.append({dir->resource + u'/' + n, dir->resource});
            continue;
        }
        if (TfilePtr f = resolveBelow(*node, rel))
            targets.append({f->resource, node->isRealFolder() ? node->resource : treeOf(*f)});
    }
    QStringList deleted, failed;
    for (const auto &[t, base] : std::as_const(targets)) {
        QString real = t;
        if (!base.isEmpty()) {
            real = pathInsideDiskTree(base, t);
            if (real.isEmpty())
                continue;
        }
        if (!QFileInfo::exists(real) && !QFileInfo(real).isSymLink())
            continue;
        TnameValueList sym;
        sym.append(QStringLiteral("%item-deleting%"), real);
        s.events().run(QStringLiteral("file deleting"), &cd, sym);
        const QFileInfo fi(real);
        if (fi.isDir() && !fi.isSymLink())
            QDir(real).removeRecursively();
        else
            QFile::remove(real);
        QFile::remove(real + QStringLiteral(".md5"));
        QFile::remove(real + QStringLiteral(".comment"));
        if (QFileInfo::exists(real) || QFileInfo(real).isSymLink()) {
            failed.append(real);
        } else {
            deleted.append(real);
            TnameValueList done;
            done.append(QStringLiteral("%item-deleted%"), real);
            s.events().run(QStringLiteral("file deleted"), &cd, done);
        }
    }
    // Their comments would otherwise pass to new items of the same names.
    forgetComments(deleted);
    if (opts().logDeletions) {
        if (!deleted.isEmpty())
            add2log(QStringLiteral("Deleted files in ") + fullPath + QStringLiteral("\r\n") + deleted.join(QStringLiteral("\r\n")),
                    logPeer(cd.conn));
        if (!failed.isEmpty())
            add2log(QStringLiteral("Failed deletion in ") + fullPath + QStringLiteral("\r\n") + failed.join(QStringLiteral("\r\n")),
                    logPeer(cd.conn));
    }
}
