#pragma once

// The desktop's trash (the freedesktop.org layout): the user's own trash
// under $XDG_DATA_HOME/Trash when the item lives on the same file system,
// else ".Trash-UID" at the top of the item's file system. Items are only
// renamed into it, never copied, so an item that cannot be renamed there
// stays where it is.

#include <QString>

// Moves the file or folder at `osPath` into the trash with its ".trashinfo"
// record. False, with nothing changed, when the path is missing, is the
// file-system root, lies below a symbolic link to a folder, or no trash on
// its file system can take it.
bool moveToTrash(const QString &osPath);

// The user's own trash folder ($XDG_DATA_HOME/Trash or ~/.local/share/Trash).
QString homeTrashFolder();
