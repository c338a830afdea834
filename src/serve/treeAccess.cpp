#include "serve/treeAccess.h"

#include "vfs/vfs.h"

TfilePtr findInTree(const QString &url, const Tfile *parent)
{
    return Tvfs::instance().findFilebyURL(url, parent, true);
}

void markTreeModified(const Tfile *f)
{
    Tvfs *tree = f ? f->vfs() : nullptr;
    (tree ? *tree : Tvfs::instance()).setModified(true);
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

bool treeListsHiddenFiles()
{
    return Tvfs::instance().settings().listHiddenFiles;
}

bool addBelowRoot(const TfilePtr &f)
{
    Tvfs &tree = Tvfs::instance();
    return tree.add(f, tree.root()) != nullptr;
}
