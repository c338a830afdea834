#pragma once

// Locations given to the file macros. Inside templates and scripts a text
// holding "/" is a tree URL, so a disk path is written with "\" ("\srv\pub\a.txt"
// absolute, "notes\a.txt" relative); the results below keep that form, and
// diskPath() maps it to the operating system's "/" at the system call.

#include <QString>

class Tfile;

// True when the text is an absolute disk path as templates write it.
bool isAbsoluteTemplatePath(const QString &text);

// A tree URL (with "/") resolved to the disk path of its item, followed by
// "\" and the file mask when the last part held "*" or "?". A text without
// "/" is returned unchanged. Empty when the item is missing or has no disk
// resource (virtual folders, links). The link file itself instead of its
// target unless `linkTarget`. Lookups start below `base` (null: the root).
QString resolveSourcePath(const QString &text, const Tfile *base = nullptr, bool linkTarget = true);

// A destination: the folder part of a URL resolved below `folder`, then "\"
// and the trimmed name. A text that cannot be resolved comes back unchanged
// (diskPath refuses it, as it still holds "/").
QString resolveTargetPath(const QString &text, const Tfile *folder = nullptr);

// "vfs to disk": an absolute path unchanged; a relative one with a ".."
// part placed beside `folder`'s disk folder; anything else resolved as an
// item below `folder`. Empty when it cannot be resolved.
QString vfsToDisk(const QString &text, const Tfile *folder);

// The operating-system path of a template disk path: "\" mapped to "/",
// relative paths made absolute against the working folder (workingFolder.h).
// Empty for an empty text, a text with "/" (an unresolved URL) or a NUL.
QString diskPath(const QString &templateText);

