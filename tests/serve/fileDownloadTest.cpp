#include "serve/fileDownload.h"

#include "util/dateTime.h"
#include "util/encodings.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(ContentType, UserPairsThenBuiltinTableThenDefault)
{
    const QStringList none;
    const struct {
        const char *name;
        const char *type;
    } builtin[] = {
        {"index.HTML", "text/html"}, {"a.htm", "text/html"},     {"photo.jpg", "image/jpeg"},
        {"x.JPE", "image/jpeg"},     {"i.gif", "image/gif"},     {"i.png", "image/png"},
        {"i.bmp", "image/bmp"},      {"favicon.ico", "image/x-icon"}, {"m.mpg", "video/mpeg"},
        {"v.avi", "video/x-msvideo"}, {"r.txt", "text/plain"},   {"s.css", "text/css"},
        {"j.js", "text/javascript"}, {"archive.tar", "application/octet-stream"},
        {"noext", "application/octet-stream"}, {"txt", "application/octet-stream"},
    };
    for (const auto &c : builtin)
        EXPECT_EQ(contentTypeFor(QString::fromLatin1(c.name), none), QString::fromLatin1(c.type)) << c.name;

    const QStringList user{QStringLiteral("*.txt;*.log"), QStringLiteral("text/x-mine"), QStringLiteral("*.pdf"),
                           QStringLiteral("application/pdf")};
    EXPECT_EQ(contentTypeFor(QStringLiteral("a.txt"), user), QStringLiteral("text/x-mine"));
    EXPECT_EQ(contentTypeFor(QStringLiteral("a.LOG"), user), QStringLiteral("text/x-mine"));
    EXPECT_EQ(contentTypeFor(QStringLiteral("b.pdf"), user), QStringLiteral("application/pdf"));
    EXPECT_EQ(contentTypeFor(QStringLiteral("c.png"), user), QStringLiteral("image/png"));
    // An odd trailing mask without a type is ignored.
    EXPECT_EQ(contentTypeFor(QStringLiteral("c.zip"), QStringList{QStringLiteral("*.zip")}),
              QStringLiteral("application/octet-stream"));
}

TEST(ContentDisposition, EncodesExactlyTheReservedBytes)
{
    EXPECT_EQ(contentDisposition(QStringLiteral("a b;c.txt"), false),
              QByteArray("attachment; filename*=UTF-8''a%20b%3Bc.txt; filename=a%20b%3Bc.txt"));
    EXPECT_EQ(contentDisposition(QStringLiteral("photo.jpg"), true),
              QByteArray("filename*=UTF-8''photo.jpg; filename=photo.jpg"));
    EXPECT_EQ(encodeDispositionName(QStringLiteral("\"#%&',:;<>?")), QByteArray("%22%23%25%26%27%2C%3A%3B%3C%3E%3F"));
    // Characters outside the list stay as they are.
    EXPECT_EQ(encodeDispositionName(QStringLiteral("a+b=c(1)[2]{3}!@$^~`|.x")), QByteArray("a+b=c(1)[2]{3}!@$^~`|.x"));
    EXPECT_EQ(encodeDispositionName(QString::fromUtf8("\xc3\xa9t\xc3\xa9.txt")), QByteArray("%C3%A9t%C3%A9.txt"));
    EXPECT_EQ(encodeDispositionName(QString(QChar(0)) + QChar(9) + QChar(127)), QByteArray("%00%09\x7f"));
    // CR and LF cannot reach the header.
    EXPECT_EQ(encodeDispositionName(QStringLiteral("a\r\nb")), QByteArray("a%0D%0Ab"));
}

TEST(EntityTag, FollowsSizeTimeAndPath)
{
    const QString tag = entityTag(1234, 45000.5, QStringLiteral("/srv/a.txt"));
    EXPECT_EQ(tag, md5Hex(QStringLiteral("1234:45000.5:/srv/a.txt")));
    EXPECT_NE(tag, entityTag(1235, 45000.5, QStringLiteral("/srv/a.txt")));
    EXPECT_NE(tag, entityTag(1234, 45000.5 + oneSecond, QStringLiteral("/srv/a.txt")));
    EXPECT_NE(tag, entityTag(1234, 45000.5, QStringLiteral("/srv/b.txt")));
}

TEST(EntityTag, ChangesWhenTheFileIsTouchedAndUsesUtc)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("f.bin"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("hello");
    f.flush(); // a later flush would touch the time again
    const QDateTime t1 = QDateTime(QDate(2024, 3, 31), QTime(1, 30), Qt::UTC);
    ASSERT_TRUE(f.setFileTime(t1, QFileDevice::FileModificationTime));
    f.close();
    const QString tag1 = entityTagOf(path);
    EXPECT_EQ(tag1, entityTag(5, toDateTimeUTC(t1), path))
        << qPrintable(path) << " " << fileTimeUTC(path) - toDateTimeUTC(t1) << " " << QFileInfo(path).size();
    EXPECT_EQ(tag1, entityTagOf(path)); // stable
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(t1.addSecs(1), QFileDevice::FileModificationTime));
    f.close();
    EXPECT_NE(tag1, entityTagOf(path));
}

TEST(IfNoneMatch, ExactTrimmedOrQuoted)
{
    const QString tag = QStringLiteral("0123abcd");
    EXPECT_TRUE(ifNoneMatch(QStringLiteral("0123abcd"), tag));
    EXPECT_TRUE(ifNoneMatch(QStringLiteral("  0123abcd "), tag));
    EXPECT_TRUE(ifNoneMatch(QStringLiteral("\"0123abcd\""), tag));
    EXPECT_FALSE(ifNoneMatch(QStringLiteral("0123ABCD"), tag));
    EXPECT_FALSE(ifNoneMatch(QStringLiteral("W/\"0123abcd\""), tag));
    EXPECT_FALSE(ifNoneMatch(QString(), tag));
    EXPECT_FALSE(ifNoneMatch(QStringLiteral("\"\""), QString()));
}
