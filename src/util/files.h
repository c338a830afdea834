#pragma once
// Reading and safely replacing files. Only regular files are read or
// written: FIFOs, sockets and devices are refused.

#include <QByteArray>
#include <QString>

// Permissions of files these functions create.
enum TfileMode {
    FM_NORMAL,  // 0666 less the umask; a replaced file keeps its permissions
    FM_PRIVATE, // 0600, for files that hold passwords
};

// Relative paths given to the functions below are taken relative to this
// folder (the program's folder unless set otherwise).
void setFilesBaseFolder(const QString &folder);
QString filesBaseFolder();
QString absoluteFilePath(const QString &path);
// name inside folder, with one '/' between them.
QString joinPath(const QString &folder, const QString &name);

// The whole file decoded as UTF-8 (a leading BOM dropped; bytes that are not
// valid UTF-8 are read in the single-byte code page). Empty when unreadable.
QString loadTextFile(const QString &path);
// Up to `size` bytes (all when -1) from offset `from`. `ok` tells whether
// the file could be read.
QByteArray loadFile(const QString &path, qint64 size = -1, qint64 from = 0, bool *ok = nullptr);
// Reads `len` bytes of an open file from `offset` on, past short reads and
// interruptions; fewer bytes mean the file ended or failed.
qint64 readFileAt(int fd, char *dst, qint64 len, qint64 offset);

// Replaces the file with `bytes` through a temporary neighbour (exclusive
// create, every write checked, fsync, rename); on failure the target is
// untouched. With `append` the bytes are added at the end instead. Missing
// parent folders are created.
bool saveFile(const QString &path, const QByteArray &bytes, bool append = false, TfileMode mode = FM_NORMAL);
bool saveTextFile(const QString &path, const QString &text, bool append = false, TfileMode mode = FM_NORMAL);

// Removes the file (a symbolic link itself, not what it points to). True
// when nothing is left at the path, also when nothing was there.
bool removeFile(const QString &path);

// A new file (mode 0600) in the private temporary folder holding the UTF-8
// text; its path, or empty on failure.
QString saveTempFile(const QString &text);
// The per-user private (0700) folder for temporary files, created on demand;
// empty when it cannot be made safe.
QString privateTempFolder();

// False for an empty path, control characters, " * < > ? |, a path longer
// than 4095 bytes or a name longer than 255 bytes.
bool isValidFilePath(const QString &path);

// A disk path as templates and scripts write it: "/" becomes "\" (there a
// text holding "/" is a tree URL).
QString templatePath(const QString &diskPath);
