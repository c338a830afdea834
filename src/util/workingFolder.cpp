#include "util/workingFolder.h"

#include "util/files.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString &movedTo()
{
    static QString folder; // empty: the program's folder
    return folder;
}

} // namespace

QString workingFolder()
{
    const QString &f = movedTo();
    return f.isEmpty() ? QDir::cleanPath(QDir(filesBaseFolder()).absolutePath()) : f;
}

bool setWorkingFolder(const QString &osFolder)
{
    if (osFolder.isEmpty())
        return false;
    const QString folder = inWorkingFolder(osFolder);
    if (!QFileInfo(folder).isDir())
        return false;
    movedTo() = folder;
    return true;
}

void resetWorkingFolder()
{
    movedTo().clear();
}

QString inWorkingFolder(const QString &path)
{
    if (path.isEmpty())
        return path;
    return QDir::cleanPath(QDir(workingFolder()).absoluteFilePath(path));
}
