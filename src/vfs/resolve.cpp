// From a URL path to a node: the tree first, then the disk below real folders.

#include "vfs/diskEntry.h"
#include "vfs/statCache.h"
#include "vfs/shellLinks.h"
#include "vfs/tempPath.h"
#include "vfs/vfs.h"
#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/masks.h"

#include <QVarLengthArray>

namespace {

// A segment of two or more dots only: it would climb out of the folder.
bool isDotsSegment(QStringView s)
{
    if (s.size() < 2)
        return false;
    for (QChar c : s)
        if (c != u'.')
            return false;
    return true;
}

// The path of a temporary node below its real folder, "/"-delimited.
QString pathBelowFolder(const Tfile &temp)
{
    const Tfile *folder = temp.parent();
    if (!folder)
        return temp.name;
    const QString base = folder->resource.endsWith(u'/') ? folder->resource : folder->resource + u'/';
    if (temp.flags.has(FA_SOLVED_LNK) && temp.lnk.startsWith(base)) {
        const QString rel = temp.lnk.mid(base.size());
        const qsizetype cut = rel.lastIndexOf(u'/');
        return cut < 0 ? temp.name : rel.left(cut + 1) + temp.name;
    }
    if (temp.resource.startsWith(base))
        return temp.resource.mid(base.size());
    return temp.name;
}

using Tsegments = QVarLengthArray<QStringView, 16>;

// Appends the "/"-separated pieces of path, empty ones included.
void splitSegments(QStringView path, Tsegments &out)
{
    qsizetype from = 0;
    for (;;) {
        const qsizetype slash = path.indexOf(u'/', from);
        if (slash < 0) {
            out.append(path.mid(from));
            return;
        }
        out.append(path.mid(from, slash - from));
        from = slash + 1;
    }
}

} // namespace

TfilePtr Tvfs::findFilebyURL(const QString &url, const Tfile *parent, bool allowTemp) const
{
    if (url.isEmpty() || url.contains(QChar(0)))
        return {};
    const Tfile *start = parent ? parent : root();
    // The segments are views into the URL (or the few texts below): no
    // string is built until the disk is asked.
    QString collapsed;
    QStringView path(url);
    if (url.contains(QLatin1String("//"))) {
        collapsed = url;
        collapsed.replace(QLatin1String("//"), QLatin1String("/"));
        path = collapsed;
    }
    if (path.startsWith(u'/')) {
        path = path.mid(1);
        start = root();
    }
    if (path.endsWith(u'/'))
        path.chop(1);
    Tsegments segments;

    // Starting from a temporary node means starting from its real folder
    // with the node's own path in front, so that ".." climbs the disk path
    // and the same checks apply.
    QString below;
    if (start->isTemp()) {
        below = pathBelowFolder(*start);
        start = start->parent();
        if (!start)
            return {};
        splitSegments(below, segments);
    }
    if (!path.isEmpty())
        splitSegments(path, segments);

    Tsegments normal;
    for (QStringView s : std::as_const(segments)) {
        if (s == u".")
            continue;
        if (s == u"..") {
            if (!normal.isEmpty()) {
                normal.removeLast();
            } else {
                start = start->parent();
                if (!start)
                    return {};
            }
            continue;
        }
        normal.append(s);
    }

    const Tfile *cur = start;
    for (qsizetype i = 0; i < normal.size(); ++i) {
        const QStringView s = normal[i];
        if (s.isEmpty())
            return {};
        const Tfile *found = nullptr;
        for (const TfilePtr &c : cur->children())
            if (sameText(QStringView(c->name), s)) {
                found = c.data();
                break;
            }
        if (found) {
            cur = found;
            continue;
        }
        if (cur->isRealFolder() && allowTemp) {
            QString rest;
            for (qsizetype j = i; j < normal.size(); ++j) {
                if (j > i)
                    rest += u'/';
                rest += normal[j];
            }
            return resolveOnDisk(cur, rest);
        }
        return {};
    }
    return TfilePtr(const_cast<Tfile *>(cur));
}

TfilePtr Tvfs::resolveOnDisk(const Tfile *folder, const QString &relPath) const
{
    if (!folder || relPath.isEmpty() || relPath.contains(QChar(0)))
        return {};
    QString rel = relPath;
    if (folder->isTemp()) {
        rel = pathBelowFolder(*folder) + u'/' + rel;
        folder = folder->parent();
        if (!folder)
            return {};
    }
    if (!folder->isRealFolder() || folder->resource.isEmpty())
        return {};
    // Never leave the folder's disk tree: no absolute path, no empty
    // segment, no segment of dots; hidden segments only when allowed.
    Tsegments segments;
    splitSegments(rel, segments);
    for (QStringView s : std::as_const(segments)) {
        if (s.isEmpty() || isDotsSegment(s))
            return {};
        if (isHiddenName(s) && !settings_.listHiddenFiles)
            return {};
    }
    QString candidate;
    candidate.reserve(folder->resource.size() + 1 + rel.size());
    candidate += folder->resource;
    if (!candidate.endsWith(u'/'))
        candidate += u'/';
    candidate += rel;
    // The node's own look at the disk tells what the candidate is, unless
    // it stands for a shell link (then it looked at the target).
    // A file asked for again is not looked up on disk while nothing changed.
    TfilePtr f = candidate.endsWith(u'/')
        ? Tfile::createTemp(candidate, folder)
        : Tfile::createTemp(candidate, folder, TstatCache::instance().info(candidate, folder->resource));
    DiskEntry kind = f->resource == candidate ? f->seenOnDisk().kind : diskEntryKind(candidate);
    if (kind == DiskEntry::None && TshellLinks::current().findsByNameWithoutExtension()) {
        const QString withExt = candidate + QLatin1String(".lnk");
        if (diskEntryKind(withExt) == DiskEntry::File) {
            candidate = withExt;
            kind = DiskEntry::File;
            f = Tfile::createTemp(candidate, folder);
        }
    }
    // FIFOs, sockets and devices are never served, whatever the options.
    if (kind != DiskEntry::File && kind != DiskEntry::Folder)
        return {};
    if (f->resource != candidate) {
        // Came through a shell link: its target must be servable too.
        const DiskEntry target = f->seenOnDisk().kind;
        if (target != DiskEntry::File && target != DiskEntry::Folder)
            return {};
    }
    if (folder->flags.has(FA_DONT_LOG))
        f->flags.set(FA_DONT_LOG);
    if (!folder->flags.has(FA_BROWSABLE))
        f->flags.clear(FA_BROWSABLE);
    return f;
}

QString tempPathBelowFolder(const Tfile &temp)
{
    return pathBelowFolder(temp);
}
