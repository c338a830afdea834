#include "serve/upload.h"
#include "vfs/file.h"

#include <gtest/gtest.h>

#include <QSet>

#include <cerrno>

TEST(Upload, ValidFilename)
{
    const struct { const char *n; bool ok; } cases[] = {
        {"a.txt", true}, {"", false}, {"..", false}, {"...", false}, {".hidden", true},
        {"a/b", false}, {"a\\b", false}, {"a:b", false}, {"a*b", false}, {"a\tb", false}, {"a|b", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(validFilename(QString::fromUtf8(c.n)), c.ok) << c.n;
}

TEST(Upload, NameAllowedByDefaultMask)
{
    const struct { const char *n; bool ok; } cases[] = {
        {"report.pdf", true}, {"zof.diff.tpl", false}, {"ZOF.ini", false}, {"x.LNK", false},
        {"index.html", false}, {"descript.ion", false}, {"a.comment", false}, {"b.md5", false},
        {"../x.txt", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(uploadNameAllowed(QString::fromUtf8(c.n), nullptr), c.ok) << c.n;
}

TEST(Upload, NumberedNames)
{
    QSet<QString> taken{QStringLiteral("report.pdf"), QStringLiteral("report (1).pdf")};
    const auto isTaken = [&](const QString &n) { return taken.contains(n); };
    EXPECT_EQ(numberedName(QStringLiteral("new.pdf"), isTaken), u"new.pdf");
    EXPECT_EQ(numberedName(QStringLiteral("report.pdf"), isTaken), u"report (2).pdf");
    taken.insert(QStringLiteral("noext"));
    EXPECT_EQ(numberedName(QStringLiteral("noext"), isTaken), u"noext (1)");
    taken.insert(QStringLiteral("a.b.c"));
    EXPECT_EQ(numberedName(QStringLiteral("a.b.c"), isTaken), u"a.b (1).c");
}

TEST(Upload, ScriptNames)
{
    EXPECT_EQ(cleanScriptName(QStringLiteral("  a\tb\r\n?c*  ")), u"ab_c_");
    const QString d = QStringLiteral("/srv/up");
    EXPECT_EQ(scriptUploadPath(QStringLiteral("x.txt"), d), u"/srv/up/x.txt");
    EXPECT_EQ(scriptUploadPath(QStringLiteral("sub\\x.txt"), d), u"/srv/up/sub/x.txt");
    // A leading "\" makes a full path; whether it stays in the folder is
    // checked where the file is made.
    EXPECT_EQ(scriptUploadPath(QStringLiteral("\\srv\\up\\x.txt"), d), u"/srv/up/x.txt");
    for (const char *bad : {"c:\\x.txt", "..\\x", "sub\\..\\..\\x", "a\\\\b", "\\", "x\\"})
        EXPECT_TRUE(scriptUploadPath(QString::fromLatin1(bad), d).isEmpty()) << bad;
}

TEST(Upload, PartialPaths)
{
    EXPECT_EQ(partialUploadPath(QStringLiteral("/d/f.bin"), QStringLiteral("%NAME%.part")), u"/d/f.bin.part");
    EXPECT_EQ(partialUploadPath(QStringLiteral("/d/f.bin"), QStringLiteral("x-%name%-%name%")), u"/d/x-f.bin-f.bin");
    EXPECT_EQ(partialUploadPath(QStringLiteral("/d/f.bin"), QStringLiteral(".part")), u"/d/f.bin.part");
}

TEST(Upload, WriteFailureReasons)
{
    EXPECT_EQ(writeFailure(ENOSPC, QString()), u"Minimum disk space reached.");
    EXPECT_EQ(writeFailure(EDQUOT, QString()), u"Minimum disk space reached.");
    EXPECT_EQ(writeFailure(EFBIG, QString()), u"Error writing file: File too large");
    EXPECT_EQ(writeFailure(0, QStringLiteral("Unknown error")), u"Error writing file: Unknown error");
}
