#include "config/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace {
QString gCfgPath;
QString gTmpPath;
}

QString withSlash(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

QString programFolder()
{
    if (QCoreApplication::instance())
        return withSlash(QCoreApplication::applicationDirPath());
    return withSlash(QDir::currentPath());
}

QString cfgPath()
{
    if (gCfgPath.isEmpty())
        gCfgPath = defaultCfgPath(programFolder());
    return gCfgPath;
}

void setCfgPath(const QString &folder)
{
    gCfgPath = withSlash(QDir::cleanPath(QDir(folder).absolutePath()));
}

QString tmpPath()
{
    if (gTmpPath.isEmpty())
        gTmpPath = detectTmpPath(programFolder());
    return gTmpPath;
}

void setTmpPath(const QString &folder)
{
    gTmpPath = withSlash(folder);
}

QString xdgConfigHome()
{
    const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The XDG rules ignore relative values.
    if (!env.isEmpty() && QDir::isAbsolutePath(env))
        return withSlash(env);
    return withSlash(QDir::homePath() + QStringLiteral("/.config"));
}

QString defaultCfgPath(const QString &programDir)
{
    const QFileInfo portable(withSlash(programDir) + QStringLiteral("zof.ini"));
    if (portable.isFile())
        return withSlash(programDir);
    return xdgConfigHome() + QStringLiteral("zof/");
}

QString detectTmpPath(const QString &programDir)
{
    const QByteArray probe = QFile::encodeName(withSlash(programDir) + QStringLiteral("test.tmp"));
    // O_EXCL: never truncate or follow someone else's file of that name.
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
        const bool wrote = ::write(fd, "x", 1) == 1;
        ::close(fd);
        const bool removed = ::unlink(probe.constData()) == 0;
        if (wrote && removed)
            return withSlash(programDir);
    }
    return withSlash(QDir::tempPath());
}
