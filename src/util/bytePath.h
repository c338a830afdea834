#pragma once
// Paths as the system calls take them: the bytes of the file-name encoding.
// Walks through folders work on these, so names that are not valid UTF-8
// pass like any other.

#include <QByteArray>
#include <QString>

struct stat;

QByteArray bytePath(const QString &path);

// About the entry itself: a symbolic link is not followed.
bool lstatPath(const QByteArray &path, struct stat &st);
// Something is there, a dangling link included.
bool entryExists(const QByteArray &path);
