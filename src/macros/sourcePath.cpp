#include "macros/sourcePath.h"

#include "util/files.h"
#include "util/workingFolder.h"
#include "vfs/vfs.h"

#include <QDir>

namespace {

const Tvfs &treeOf(const Tfile *base)
{
    if (base && base->vfs())
        return *base->vfs();
    return Tvfs::instance();
}

// A component made of two or more dots only.
bool hasDotsComponent(const QString &text)
{
    qsizetype run = 0;
    bool onlyDots = true;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const QChar c = i < text.size() ? text[i] : QChar(u'/');
        if (c == u'/' || c == u'\\') {
            if (onlyDots && run >= 2)
                return true;
            run = 0;
            onlyDots = true;
        } else {
            ++run;
            onlyDots = onlyDots && c == u'.';
        }
    }
    return false;
}

// The disk path of a tree URL (a final wildcard mask kept as it is), for any
// text taken as a URL; empty for a link or a virtual node.
QString resolveUrl(QString text, const Tfile *base, bool linkTarget)
{
    QString mask;
    if (text.contains(u'*') || text.contains(u'?')) {
        const qsizetype cut = text.lastIndexOf(u'/');
        mask = u'\\' + text.mid(cut + 1);
        text = text.left(cut < 0 ? 0 : cut);
        if (text.isEmpty())
            text = cut == 0 || !base ? QStringLiteral("/") : QString();
    }
    TfilePtr f;
    if (text.isEmpty()) {
        // The mask stood alone: it applies to the base folder itself.
        f = TfilePtr(const_cast<Tfile *>(base));
    } else {
        f = treeOf(base).findFilebyURL(text, base, true);
    }
    if (!f || f->isLink())
        return {};
    QString res = f->resource;
    if (!linkTarget && f->flags.has(FA_SOLVED_LNK) && !f->lnk.isEmpty())
        res = f->lnk;
    if (res.isEmpty())
        return {}; // virtual: nothing on disk
    return templatePath(res) + mask;
}

bool isDotsName(QStringView s)
{
    if (s.size() < 2)
        return s == u".";
    for (QChar c : s)
        if (c != u'.')
            return false;
    return true;
}

// A destination folder that does not exist yet: the nearest folder of the
// URL found on disk, followed by the missing names (plain names only).
QString resolveMissingFolders(const QString &folderUrl, const Tfile *base)
{
    if (folderUrl.contains(u'*') || folderUrl.contains(u'?'))
        return {};
    QStringList missing;
    QString url = folderUrl;
    while (url.endsWith(u'/'))
        url.chop(1);
    while (!url.isEmpty()) {
        const qsizetype cut = url.lastIndexOf(u'/');
        const QString seg = url.mid(cut + 1);
        if (seg.contains(u'\\') || isDotsName(seg))
            return {};
        if (!seg.isEmpty())
            missing.prepend(seg);
        url.truncate(cut < 0 ? 0 : cut);
        if (cut <= 0 && !folderUrl.startsWith(u'/') && !base)
            return {};
        const QString found = resolveUrl(url.isEmpty() ? (cut == 0 ? QStringLiteral("/") : QString()) : url + u'/',
                                         base, true);
        if (!found.isEmpty())
            return found + u'\\' + missing.join(u'\\');
        if (url.isEmpty())
            return {};
    }
    return {};
}

} // namespace

bool isAbsoluteTemplatePath(const QString &text)
{
    return text.startsWith(u'\\') || text.startsWith(u'/');
}

QString resolveSourcePath(const QString &text, const Tfile *base, bool linkTarget)
{
    if (!text.contains(u'/'))
        return text;
    return resolveUrl(text, base, linkTarget);
}

QString resolveTargetPath(const QString &text, const Tfile *folder)
{
    if (!text.contains(u'/'))
        return text;
    const qsizetype cut = std::max(text.lastIndexOf(u'/'), text.lastIndexOf(u'\\'));
    const QString name = text.mid(cut + 1).trimmed();
    if (isDotsName(name))
        return text; // would climb out of the folder
    const QString folderPart = text.left(cut + 1);
    QString path = resolveSourcePath(folderPart, folder, true);
    if (path.isEmpty())
        path = resolveMissingFolders(folderPart, folder);
    if (path.isEmpty())
        return text;
    return path + u'\\' + name;
}

QString vfsToDisk(const QString &text, const Tfile *folder)
{
    if (isAbsoluteTemplatePath(text) && !text.startsWith(u'/'))
        return text;
    if (text.startsWith(u'/') || !hasDotsComponent(text)) {
        // A bare name is an item of the folder; a relative disk path with
        // "\" stays as it is.
        if (!text.contains(u'/') && text.contains(u'\\'))
            return text;
        return resolveUrl(text, folder, true);
    }
    const Tfile *base = folder ? folder : treeOf(folder).root();
    if (!base || base->resource.isEmpty() || base->isLink())
        return {};
    QString rel = text;
    rel.replace(u'\\', u'/');
    return templatePath(QDir::cleanPath(base->resource + u'/' + rel));
}

QString diskPath(const QString &templateText)
{
    if (templateText.isEmpty() || templateText.contains(u'/') || templateText.contains(QChar(0)))
        return {};
    QString p = templateText;
    p.replace(u'\\', u'/');
    return inWorkingFolder(p);
}
