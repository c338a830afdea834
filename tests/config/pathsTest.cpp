// The configuration folder and the folder for temporary files.
#include "cfgFixture.h"
#include "config/paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(Paths, ConfigurationFolderChoice)
{
    QTemporaryDir prog, xdg;
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", xdg.path().toUtf8());
    EXPECT_EQ(defaultCfgPath(prog.path()), xdg.path() + QStringLiteral("/zof/"));
    QFile ini(prog.path() + QStringLiteral("/zof.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.close();
    EXPECT_EQ(defaultCfgPath(prog.path()), prog.path() + u'/');
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(xdgConfigHome(), QDir::homePath() + QStringLiteral("/.config/"));
    qputenv("XDG_CONFIG_HOME", savedXdg);
    EXPECT_EQ(detectTmpPath(prog.path()), prog.path() + u'/');
    EXPECT_FALSE(QFile::exists(prog.path() + QStringLiteral("/test.tmp")));
    EXPECT_EQ(detectTmpPath(QStringLiteral("/nonexistent/folder")), QDir::tempPath() + u'/');
}
