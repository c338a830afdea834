#include "util/bytePath.h"

#include <QFile>

#include <sys/stat.h>

QByteArray bytePath(const QString &path)
{
    return QFile::encodeName(path);
}

bool lstatPath(const QByteArray &path, struct stat &st)
{
    return ::lstat(path.constData(), &st) == 0;
}

bool entryExists(const QByteArray &path)
{
    struct stat st;
    return lstatPath(path, st);
}
