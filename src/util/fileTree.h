#pragma once
// Whole items on disk: rename, delete, copy and move files and folders with
// what they hold. Folder walks work on byte paths, so names that are not
// valid UTF-8 are moved, copied and deleted like any other. Symbolic links
// met inside a folder are never followed: they are copied, moved or deleted
// as links. FIFOs, sockets and devices are left alone. A walk gives up below
// 256 nested folders; `depth` is how deep the walk already is.

#include <QByteArray>
#include <QList>
#include <QString>

// A rename that never replaces what is there.
bool renameNoReplace(const QByteArray &from, const QByteArray &to);

// The item with everything below it; false when anything stayed.
bool deleteTree(const QByteArray &path, int depth = 0);

// Copies files with their permissions and times. `follow`: the top item is
// taken through a link; below it links are copied. Without `replace`, files
// and links already at the destination stay.
bool copyTree(const QByteArray &src, const QByteArray &dst, bool follow, bool replace = true,
              int depth = 0);

// A move never replaces what lies at its destination: a file or a link
// goes only where nothing is, a folder onto a folder merges what does not
// collide (the rest stays where it was, and the move fails). Across file
// systems the item is copied, then deleted.
bool moveTree(const QByteArray &src, const QByteArray &dst, int depth = 0);

// The items a source path stands for: itself, or the entries of its folder
// that match the mask ("*", "?") in its last part.
QList<QByteArray> expandSource(const QByteArray &path, bool *isMask = nullptr);

// Moves or copies the source (a path or a mask) to the destination as the
// desktop does: into the destination when it is a folder (or when a mask
// names several items), else to that name; missing folders are created,
// copied files replaced. Never onto the source itself or into its content.
bool transfer(const QString &srcPath, const QString &dstPath, bool move);
