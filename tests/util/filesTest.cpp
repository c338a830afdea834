#include "util/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

TEST(Files, SaveLoadAndAppend)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/deeper/a.txt"));
    ASSERT_TRUE(saveTextFile(path, QStringLiteral("h\u00e9llo")));
    EXPECT_EQ(loadFile(path), QByteArray("h\xC3\xA9llo"));
    EXPECT_EQ(loadTextFile(path), QStringLiteral("h\u00e9llo"));
    ASSERT_TRUE(saveTextFile(path, QStringLiteral(" world"), true));
    EXPECT_EQ(loadTextFile(path), QStringLiteral("h\u00e9llo world"));
    ASSERT_TRUE(saveFile(path, "replaced"));
    EXPECT_EQ(loadFile(path), QByteArray("replaced"));
    EXPECT_EQ(loadFile(path, 3, 2), QByteArray("pla"));
    EXPECT_EQ(loadFile(path, -1, 5), QByteArray("ced"));
    EXPECT_EQ(loadFile(path, 10, 100), QByteArray());
    EXPECT_EQ(entries(dir.filePath(QStringLiteral("sub/deeper"))), QStringList{QStringLiteral("a.txt")});

    bool ok = true;
    EXPECT_TRUE(loadFile(dir.filePath(QStringLiteral("missing")), -1, 0, &ok).isEmpty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(loadTextFile(dir.filePath(QStringLiteral("missing"))).isEmpty());
    EXPECT_TRUE(saveFile(dir.filePath(QStringLiteral("empty")), QByteArray()));
    loadFile(dir.filePath(QStringLiteral("empty")), -1, 0, &ok);
    EXPECT_TRUE(ok);
}

TEST(Files, TextDecoding)
{
    QTemporaryDir dir;
    const QString bom = dir.filePath(QStringLiteral("bom.txt"));
    ASSERT_TRUE(saveFile(bom, "\xEF\xBB\xBFok"));
    EXPECT_EQ(loadTextFile(bom), QStringLiteral("ok"));
    const QString old = dir.filePath(QStringLiteral("old.txt"));
    ASSERT_TRUE(saveFile(old, "caf\xE9"));
    EXPECT_EQ(loadTextFile(old), QStringLiteral("caf\u00e9"));
}

TEST(Files, RefusesWhatIsNotARegularFile)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    bool ok = true;
    EXPECT_TRUE(loadFile(fifo, -1, 0, &ok).isEmpty()); // returns at once instead of blocking
    EXPECT_FALSE(ok);
    EXPECT_FALSE(saveFile(fifo, "x"));
    EXPECT_FALSE(saveFile(fifo, "x", true));
    EXPECT_FALSE(saveFile(dir.path(), "x"));
    EXPECT_FALSE(loadFile(dir.path(), -1, 0, &ok).size());
    EXPECT_FALSE(ok);
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("fifo")});
}

TEST(Files, FailedWriteLeavesTargetUntouched)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    ASSERT_TRUE(saveFile(path, "original"));

    // A file size limit makes the write fail part-way, as a full disk would.
    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = saveFile(path, QByteArray(5000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(loadFile(path), QByteArray("original"));
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("config.ini")}); // no temporary file left
}

TEST(Files, FailedRenameLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    // The target is a folder: the write works, swapping it in cannot.
    const QString target = dir.filePath(QStringLiteral("taken"));
    ASSERT_TRUE(QDir().mkdir(target));
    ASSERT_TRUE(saveFile(dir.filePath(QStringLiteral("taken/inner")), "keep"));
    EXPECT_FALSE(saveFile(target, "x"));
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("taken")});
    EXPECT_EQ(loadFile(dir.filePath(QStringLiteral("taken/inner"))), QByteArray("keep"));
}

TEST(Files, PermissionsAndLinks)
{
    QTemporaryDir dir;
    const QString secret = dir.filePath(QStringLiteral("accounts.cfg"));
    ASSERT_TRUE(saveFile(secret, "pw", false, FM_PRIVATE));
    EXPECT_EQ(modeOf(secret), mode_t(0600));
    ASSERT_TRUE(saveFile(secret, "pw2"));
    EXPECT_EQ(modeOf(secret), mode_t(0600)); // a replaced file keeps its permissions
    const QString appended = dir.filePath(QStringLiteral("log.txt"));
    ASSERT_TRUE(saveFile(appended, "1", true, FM_PRIVATE));
    EXPECT_EQ(modeOf(appended), mode_t(0600));

    const QString shared = dir.filePath(QStringLiteral("shared.txt"));
    ASSERT_TRUE(saveFile(shared, "a"));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0644), 0);
    ASSERT_TRUE(saveFile(shared, "b", false, FM_PRIVATE));
    EXPECT_EQ(modeOf(shared), mode_t(0600));

    // Saving through a link replaces the file it points to and keeps the link.
    const QString link = dir.filePath(QStringLiteral("link.txt"));
    ASSERT_TRUE(QFile::link(shared, link));
    ASSERT_TRUE(saveFile(link, "through link"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(loadFile(shared), QByteArray("through link"));
}

TEST(Files, LongNamesUseShortTemporaryName)
{
    QTemporaryDir dir;
    const QString longName = dir.filePath(QString(250, u'n'));
    ASSERT_TRUE(saveFile(longName, "long"));
    EXPECT_EQ(loadFile(longName), QByteArray("long"));
    EXPECT_EQ(entries(dir.path()).size(), 1);
}

TEST(Files, RelativePathsUseTheBaseFolder)
{
    QTemporaryDir dir;
    const QString before = filesBaseFolder();
    setFilesBaseFolder(dir.path());
    EXPECT_TRUE(saveTextFile(QStringLiteral("rel/x.txt"), QStringLiteral("r")));
    EXPECT_EQ(loadTextFile(QStringLiteral("rel/x.txt")), QStringLiteral("r"));
    EXPECT_EQ(absoluteFilePath(QStringLiteral("/abs")), QStringLiteral("/abs"));
    setFilesBaseFolder(before);
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("rel/x.txt"))));
}

TEST(Files, TemporaryFiles)
{
    const QString folder = privateTempFolder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_EQ(modeOf(folder), mode_t(0700));
    const QString a = saveTempFile(QStringLiteral("t\u00e9mp"));
    const QString b = saveTempFile(QStringLiteral("other"));
    ASSERT_FALSE(a.isEmpty());
    EXPECT_NE(a, b);
    EXPECT_TRUE(a.startsWith(folder + u'/'));
    EXPECT_EQ(modeOf(a), mode_t(0600));
    EXPECT_EQ(loadTextFile(a), QStringLiteral("t\u00e9mp"));
    QFile::remove(a);
    QFile::remove(b);
}

TEST(Files, RemoveFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("target"), link = dir.filePath("link");
    ASSERT_TRUE(saveFile(target, "x"));
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0444), 0);
    ASSERT_EQ(::symlink("target", QFile::encodeName(link).constData()), 0);
    // The link goes, not what it points to.
    EXPECT_TRUE(removeFile(link));
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(target));
    // A read-only file in a writable folder is removed; nothing there counts as removed.
    EXPECT_TRUE(removeFile(target));
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_TRUE(removeFile(target));
    // What cannot go is reported.
    EXPECT_FALSE(removeFile(dir.path()));
}

TEST(Files, ValidPaths)
{
    EXPECT_TRUE(isValidFilePath(QStringLiteral("/home/u/file.txt")));
    EXPECT_TRUE(isValidFilePath(QStringLiteral("relative/dir\\name")));
    EXPECT_TRUE(isValidFilePath(QString(255, u'a')));
    EXPECT_FALSE(isValidFilePath(QString(256, u'a')));
    EXPECT_FALSE(isValidFilePath(QStringLiteral("/x/") + QString(4095, u'a')));
    EXPECT_FALSE(isValidFilePath(QString()));
    for (const char16_t *bad : {u"a\"b", u"a*b", u"a<b", u"a>b", u"a?b", u"a|b", u"a\nb", u"a\tb"})
        EXPECT_FALSE(isValidFilePath(QString::fromUtf16(bad))) << QString::fromUtf16(bad).toStdString();
    EXPECT_FALSE(isValidFilePath(QString(QChar(0)) + QStringLiteral("x")));
    EXPECT_FALSE(saveFile(QStringLiteral("/tmp/bad?name"), "x"));
}
