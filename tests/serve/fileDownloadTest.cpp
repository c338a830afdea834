#include "serve/fileDownload.h"

#include "vfs/diskEntry.h"

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
    // Answers remembered for one set of pairs do not outlive it.
    const QStringList other{QStringLiteral("*.txt"), QStringLiteral("text/other")};
    EXPECT_EQ(contentTypeFor(QStringLiteral("a.txt"), other), QStringLiteral("text/other"));
    EXPECT_EQ(contentTypeFor(QStringLiteral("A.TXT"), other), QStringLiteral("text/other"));
    EXPECT_EQ(contentTypeFor(QStringLiteral("a.txt"), user), QStringLiteral("text/x-mine"));
    // A mask that looks at more than the extension.
    const QStringList byName{QStringLiteral("read*"), QStringLiteral("text/readme")};
    EXPECT_EQ(contentTypeFor(QStringLiteral("readme.txt"), byName), QStringLiteral("text/readme"));
    EXPECT_EQ(contentTypeFor(QStringLiteral("notes.txt"), byName), QStringLiteral("text/plain"));
    const QStringList twoDots{QStringLiteral("*.tar.gz"), QStringLiteral("application/gzip")};
    EXPECT_EQ(contentTypeFor(QStringLiteral("a.tar.gz"), twoDots), QStringLiteral("application/gzip"));
    EXPECT_EQ(contentTypeFor(QStringLiteral("a.gz"), twoDots), QStringLiteral("application/octet-stream"));
    // An odd trailing mask without a type is ignored.
    EXPECT_EQ(contentTypeFor(QStringLiteral("c.zip"), QStringList{QStringLiteral("*.zip")}),
              QStringLiteral("application/octet-stream"));
}

TEST(ContentDisposition, RepeatedNamesKeepTheirOwnValues)
{
    // Values are remembered per name and per inline choice: asking again, or
    // for the other choice, must not answer with another entry's value.
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(contentDisposition(QStringLiteral("r.txt"), false),
                  QByteArray("attachment; filename*=UTF-8''r.txt; filename=r.txt"));
        EXPECT_EQ(contentDisposition(QStringLiteral("r.txt"), true), QByteArray("filename*=UTF-8''r.txt; filename=r.txt"));
        EXPECT_EQ(contentDisposition(QStringLiteral("R.txt"), true), QByteArray("filename*=UTF-8''R.txt; filename=R.txt"));
    }
    // Past the memo's size everything is still answered right.
    for (int i = 0; i < 3000; ++i) {
        const QString name = QString::number(i) + QStringLiteral(" .bin");
        const QByteArray enc = QByteArray::number(i) + "%20.bin";
        ASSERT_EQ(contentDisposition(name, i % 2), (i % 2 ? QByteArray() : QByteArray("attachment; "))
                      + "filename*=UTF-8''" + enc + "; filename=" + enc);
    }
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

TEST(EntityTag, FromOneStatEqualsTheFileQuery)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("f.bin"));
    const QDateTime times[] = {
        QDateTime(QDate(2024, 3, 31), QTime(1, 30, 0, 999), Qt::UTC),
        QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC),
        QDateTime(QDate(2038, 1, 19), QTime(3, 14, 8), Qt::UTC),
    };
    for (const QDateTime &t : times) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(int(t.date().day()), 'x'));
        f.flush();
        ASSERT_TRUE(f.setFileTime(t, QFileDevice::FileModificationTime));
        f.close();
        const DiskEntryInfo info = diskEntryInfo(path);
        // The file query reads a time of exactly 1970-01-01 as unknown; one
        // stat tells the real time.
        if (t.toMSecsSinceEpoch() != 0) {
            EXPECT_EQ(entityTagOf(path, info), entityTagOf(path)) << qPrintable(t.toString(Qt::ISODateWithMs));
        }
        EXPECT_EQ(entityTagOf(path, info), entityTag(t.date().day(), toDateTimeUTC(t), path));
    }
    // What is not a file takes the file query's answer.
    EXPECT_EQ(entityTagOf(dir.path(), diskEntryInfo(dir.path())), entityTagOf(dir.path()));
    const QString missing = dir.filePath(QStringLiteral("none"));
    EXPECT_EQ(entityTagOf(missing, diskEntryInfo(missing)), entityTagOf(missing));
}

TEST(HttpDate, FromMillisecondsEqualsTheDayCountFormat)
{
    const qint64 samples[] = {
        0, 999, 1000, 86399999, 951782400000 /* 2000-02-29 */, 951868800000 /* 2000-03-01 */,
        1709164800000 /* 2024-02-29 */, 1711848600123, 1735689599999 /* 2024-12-31 23:59:59.999 */,
        4102444800000 /* 2100-01-01 */, 253402300799000 /* 9999-12-31 23:59:59 */,
        253402300800000 /* year 10000 */, -1, -86400000,
    };
    for (const qint64 ms : samples) {
        const QDateTime dt = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        EXPECT_EQ(httpDateOf(ms), httpDate(dt).toLatin1()) << ms;
    }
    EXPECT_EQ(httpDateOf(784111777000), QByteArray("Sun, 06 Nov 1994 08:49:37 GMT"));
    // Every day of a leap-year span, at a time of day that moves.
    for (qint64 day = 10957; day < 10957 + 800; ++day) { // from 2000-01-01
        const qint64 ms = day * 86400000 + (day * 7919 % 86400) * 1000;
        ASSERT_EQ(httpDateOf(ms), httpDate(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC)).toLatin1()) << ms;
    }
}
