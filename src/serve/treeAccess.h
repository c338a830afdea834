#pragma once
// The few operations request handling needs on the program's tree, kept
// behind functions so that this module's files do not depend on the tree's
// settings header.

#include "vfs/file.h"

#include <QString>

// findFilebyURL on the program's tree (temporary nodes allowed).
TfilePtr findInTree(const QString &url, const Tfile *parent = nullptr);
// The tree's counters changed and must be saved (the tree itself is not
// modified by a download).
void markCountersChanged(const Tfile *f);
// One more download of the file at `path`, counted by its disk path.
void countDiskDownload(const QString &path);
// A user and password given on some node of the tree.
bool treeUsersMatch(const QString &user, const QString &pwd);
// The port the tree builds URLs with ("" while the server is off).
void setTreeServerPort(const QString &port);

// `path` when it lies strictly inside the disk folder `base`, both as they
// are and once symbolic links are resolved (the item's own location and
// what it points to); empty otherwise. The returned path is the item's own
// location with its folders resolved.
QString pathInsideDiskTree(const QString &base, const QString &path);
