#include "serve/treeAccess.h"

#include "vfs/vfs.h"

#include <QDir>
#include <QFileInfo>

TfilePtr findInTree(const QString &url, const Tfile *parent)
{
    return Tvfs::instance().findFilebyURL(url, parent, true);
}

void markCountersChanged(const Tfile *f)
{
    Tvfs *tree = f ? f->vfs() : nullptr;
    (tree ? *tree : Tvfs::instance()).setCountersChanged();
}

void countDiskDownload(const QString &path)
{
    Tvfs &tree = Tvfs::instance();
    tree.setTempDownloadCount(path, tree.tempDownloadCount(path) + 1);
}

bool treeUsersMatch(const QString &user, const QString &pwd)
{
    return Tvfs::instance().usersInVFS.match(user, pwd);
}

void setTreeServerPort(const QString &port)
{
    TvfsSettings vs = Tvfs::instance().settings();
    if (vs.serverPort == port)
        return;
    vs.serverPort = port;
    Tvfs::instance().setSettings(vs);
}

QString pathInsideDiskTree(const QString &base, const QString &path)
{
    const QString b = QFileInfo(base).canonicalFilePath();
    // The item itself may be a link: its own location must be inside, and
    // what it points to as well.
    const QFileInfo fi(path);
    const QString parent = fi.dir().canonicalPath();
    if (b.isEmpty() || parent.isEmpty() || fi.fileName().isEmpty() || fi.fileName() == u"."
        || fi.fileName() == u"..")
        return {};
    const QString own = parent + u'/' + fi.fileName();
    const QString target = fi.canonicalFilePath();
    auto inside = [&](const QString &p) { return p.startsWith(b + u'/') && p.size() > b.size() + 1; };
    if (!inside(own) || target.isEmpty() || !inside(target))
        return {};
    return own;
}

