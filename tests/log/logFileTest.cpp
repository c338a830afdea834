// The log file: its name from the pattern, its tab-separated lines, how it
// is created and appended, and what happens when it cannot be written.

#include "log/logEntry.h"
#include "log/logFile.h"
#include "logTestTools.h"
#include "util/files.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

QDateTime day(int y, int m, int d)
{
    return QDateTime(QDate(y, m, d), QTime(12, 0));
}

const TlogPeer fileIpv6Peer{QStringLiteral("bob"), QStringLiteral("2001:db8::7"), QStringLiteral("8080"), QStringLiteral("office")};

int countOf(const QByteArray &text, const QByteArray &what)
{
    return int(text.count(what));
}

} // namespace

TEST(LogFileName, MonthlyFileChangesWithTheMonth)
{
    const QString pattern = QStringLiteral("log-%y%-%m%.txt");
    EXPECT_EQ(expandLogFileName(pattern, day(2020, 1, 1), {}), "log-2020-01.txt");
    EXPECT_EQ(expandLogFileName(pattern, day(2020, 1, 31), {}), "log-2020-01.txt");
    EXPECT_EQ(expandLogFileName(pattern, day(2020, 2, 1), {}), "log-2020-02.txt");
    // Any letter case, and every occurrence.
    EXPECT_EQ(expandLogFileName(QStringLiteral("%Y%/%D%-%d%.log"), day(2020, 3, 9), {}), "2020/09-09.log");
    EXPECT_EQ(expandLogFileName(QStringLiteral("plain.log"), day(2020, 3, 9), QStringLiteral("bob")), "plain.log");
}

TEST(LogFileName, DayOfWeekAndIsoWeek)
{
    const QString dow = QStringLiteral("%dow%");
    EXPECT_EQ(expandLogFileName(dow, day(2020, 1, 5), {}), "00"); // Sunday
    EXPECT_EQ(expandLogFileName(dow, day(2020, 1, 6), {}), "01"); // Monday
    EXPECT_EQ(expandLogFileName(QStringLiteral("%DOW%"), day(2020, 1, 4), {}), "06"); // Saturday

    const QString week = QStringLiteral("%w%");
    EXPECT_EQ(expandLogFileName(week, day(2019, 12, 30), {}), "01"); // Monday of 2020's first week
    EXPECT_EQ(expandLogFileName(week, day(2019, 12, 29), {}), "52");
    EXPECT_EQ(expandLogFileName(week, day(2021, 1, 3), {}), "53");  // still 2020's last week
    EXPECT_EQ(expandLogFileName(week, day(2021, 1, 4), {}), "01");
    EXPECT_EQ(expandLogFileName(QStringLiteral("w%W%"), day(2020, 3, 2), {}), "w10");
}

TEST(LogFileName, UserInParentheses)
{
    const QString pattern = QStringLiteral("log%user%.txt");
    EXPECT_EQ(expandLogFileName(pattern, day(2020, 1, 1), QStringLiteral("bob")), "log(bob).txt");
    EXPECT_EQ(expandLogFileName(QStringLiteral("log%USER%.txt"), day(2020, 1, 1), {}), "log.txt");
    // A user name cannot move the file elsewhere.
    EXPECT_EQ(expandLogFileName(pattern, day(2020, 1, 1), QStringLiteral("../../etc/x")), "log(.._.._etc_x).txt");
    // A user named like a placeholder is not expanded again.
    EXPECT_EQ(expandLogFileName(pattern, day(2020, 1, 1), QStringLiteral("%d%")), "log(%d%).txt");
}

TEST(LogFileLine, TabbedAndBlockForms)
{
    const TlogEntry e = makeLogEntry(QStringLiteral("first\r\nsecond\r\nthird"), fileIpv6Peer, {}, QStringLiteral("14:03:07"));
    EXPECT_EQ(logFileLine(e, true), "14:03:07\tbob\t2001:db8::7\t8080\toffice\tfirst\tsecond\tthird\r\n");
    EXPECT_EQ(logFileLine(e, false), "14:03:07\tbob\t2001:db8::7\t8080\toffice\tfirst\r\n> second\r\n> third\r\n");
    const TlogEntry one = makeLogEntry(QString::fromUtf8("caf\xc3\xa9"), {}, {}, {});
    EXPECT_EQ(logFileLine(one, false), "\t\t\t\t\tcaf\xc3\xa9\r\n");
    EXPECT_EQ(logFileLine(one, true), "\t\t\t\t\tcaf\xc3\xa9\r\n");
}

TEST(LogFileLine, FieldsCannotAddFieldsOrLines)
{
    TlogPeer peer{QStringLiteral("b\to\rb"), QStringLiteral("10.0.0.2"), QStringLiteral("1"), QStringLiteral("x\ny")};
    TlogEntry e = makeLogEntry(QStringLiteral("Requested GET /a\t[bytes=0-9]\r\nmore\tfield"), peer, {}, {});
    const QByteArray tabbed = logFileLine(e, true);
    EXPECT_EQ(tabbed, "\tb o b\t10.0.0.2\t1\tx y\tRequested GET /a [bytes=0-9]\tmore field\r\n");
    EXPECT_EQ(countOf(tabbed, "\t"), 6);
    EXPECT_EQ(countOf(tabbed, "\r"), 1);
    EXPECT_EQ(countOf(tabbed, "\n"), 1);
}

TEST_F(LogTest, FileLinesThroughAdd2log)
{
    settings.time = false;
    settings.fileName = path(QStringLiteral("log-%user%.txt"));
    apply();
    add2log(QStringLiteral("Connected"), fileIpv6Peer);
    add2log(QStringLiteral("Server start"));
    settings.fileTabbed = true;
    apply();
    add2log(QStringLiteral("Deleted files in /up\r\na.txt\r\nb.txt"), fileIpv6Peer);
    // The view keeps the IPv6 address in brackets, the file has it bare.
    EXPECT_EQ(model.line(0).text(), "  bob@[2001:db8::7]:8080 {office}  Connected");
    EXPECT_EQ(fileBytes(QStringLiteral("log-(bob).txt")), "\tbob\t2001:db8::7\t8080\toffice\tConnected\r\n"
                                                           "\tbob\t2001:db8::7\t8080\toffice\tDeleted files in /up\ta.txt\tb.txt\r\n");
    EXPECT_EQ(fileBytes(QStringLiteral("log-.txt")), "\t\t\t\t\tServer start\r\n");
}

TEST_F(LogTest, FileOnlyWithScreenOff)
{
    settings.toScreen = false;
    settings.time = false;
    settings.fileName = path(QStringLiteral("only.log"));
    apply();
    add2log(QStringLiteral("to the file"));
    EXPECT_EQ(model.lineCount(), 0);
    EXPECT_EQ(fileBytes(QStringLiteral("only.log")), "\t\t\t\t\tto the file\r\n");
}

TEST_F(LogTest, AccessLogFormatReplacesThePlainFile)
{
    settings.fileName = path(QStringLiteral("plain.log"));
    settings.apacheFormat = QStringLiteral("%h %l %u %t \"%r\" %>s %b");
    apply();
    add2log(QStringLiteral("Server start"));
    flushLogFiles();
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("plain.log"))));
    EXPECT_EQ(model.lineCount(), 1);
    // And with the screen off as well, add2log does nothing at all.
    settings.toScreen = false;
    apply();
    add2log(QStringLiteral("nowhere"));
    flushLogFiles();
    EXPECT_EQ(model.lineCount(), 1);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(LogTest, FileCreatedPrivateToTheGroupAndAppended)
{
    const mode_t oldMask = ::umask(022);
    settings.time = false;
    settings.fileName = path(QStringLiteral("logs/sub/zof.log"));
    apply();
    add2log(QStringLiteral("one"));
    add2log(QStringLiteral("two"));
    ::umask(oldMask);
    EXPECT_EQ(fileBytes(QStringLiteral("logs/sub/zof.log")), "\t\t\t\t\tone\r\n\t\t\t\t\ttwo\r\n");
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path(QStringLiteral("logs/sub/zof.log"))).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0640));

    // Removed or renamed between entries: the next entry starts a new file.
    ASSERT_TRUE(QFile::rename(path(QStringLiteral("logs/sub/zof.log")), path(QStringLiteral("logs/sub/old.log"))));
    add2log(QStringLiteral("three"));
    EXPECT_EQ(fileBytes(QStringLiteral("logs/sub/zof.log")), "\t\t\t\t\tthree\r\n");
    EXPECT_EQ(fileBytes(QStringLiteral("logs/sub/old.log")), "\t\t\t\t\tone\r\n\t\t\t\t\ttwo\r\n");
}

TEST_F(LogTest, RelativeNameTakenAgainstTheFilesFolder)
{
    const QString before = filesBaseFolder();
    setFilesBaseFolder(dir.path());
    settings.time = false;
    settings.fileName = QStringLiteral("rel.log");
    apply();
    add2log(QStringLiteral("here"));
    setFilesBaseFolder(before);
    EXPECT_EQ(fileBytes(QStringLiteral("rel.log")), "\t\t\t\t\there\r\n");
}

TEST_F(LogTest, FailureToldOnceAndRetried)
{
    const QString name = path(QStringLiteral("blocked.log"));
    settings.time = false;
    settings.fileName = name;
    apply();
    setLogToStderr(true);
    appendLogLine(path(QStringLiteral("good.log")), "x\r\n");
    ASSERT_TRUE(flushLogFiles()); // no failure pending
    ASSERT_TRUE(QDir().mkdir(name)); // a folder where the file should be
    QByteArray err = capturedStderr([] {
        // Three passes of the event loop, three attempts.
        for (const char *text : {"a", "b", "c"}) {
            add2log(QString::fromLatin1(text));
            EXPECT_FALSE(flushLogFiles());
        }
    });
    EXPECT_EQ(countOf(err, "cannot write the log file"), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(QFile::encodeName(name))) << err.toStdString();
    // The screen lost nothing.
    EXPECT_TRUE(err.contains("  a\n") && err.contains("  b\n") && err.contains("  c\n")) << err.toStdString();
    EXPECT_EQ(model.lineCount(), 3);

    // Writable again: the next entry goes in, and nothing is told.
    ASSERT_TRUE(QDir().rmdir(name));
    err = capturedStderr([] { add2log(QStringLiteral("d")); });
    EXPECT_EQ(countOf(err, "cannot write"), 0) << err.toStdString();
    EXPECT_EQ(fileBytes(QStringLiteral("blocked.log")), "\t\t\t\t\td\r\n");

    // A new failure after that success is news again, once.
    ASSERT_TRUE(QFile::remove(name));
    ASSERT_TRUE(QDir().mkdir(name));
    err = capturedStderr([] {
        add2log(QStringLiteral("e"));
        EXPECT_FALSE(flushLogFiles());
        add2log(QStringLiteral("f"));
        EXPECT_FALSE(flushLogFiles());
    });
    EXPECT_EQ(countOf(err, "cannot write the log file"), 1) << err.toStdString();
    ASSERT_TRUE(QDir().rmdir(name));
    appendLogLine(name, "g\r\n");
    EXPECT_TRUE(flushLogFiles());
}

TEST_F(LogTest, LinesOfOnePassWrittenTogetherInOrder)
{
    const QString a = path(QStringLiteral("a.log")), b = path(QStringLiteral("b.log"));
    appendLogLine(a, "1\r\n");
    appendLogLine(a, "2\r\n");
    appendLogLine(b, "3\r\n");
    appendLogLine(a, "4\r\n");
    // Nothing before the event loop comes back.
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_FALSE(QFile::exists(b));
    QCoreApplication::processEvents();
    EXPECT_EQ(fileBytes(QStringLiteral("a.log")), "1\r\n2\r\n4\r\n");
    EXPECT_EQ(fileBytes(QStringLiteral("b.log")), "3\r\n");
    // A large burst does not wait.
    const QByteArray big(70 * 1024, 'x');
    appendLogLine(b, big);
    EXPECT_EQ(QFileInfo(b).size(), 3 + big.size());
}

TEST_F(LogTest, AppendLogLineRefusesWhatIsNotAFile)
{
    const QByteArray fifo = QFile::encodeName(path(QStringLiteral("fifo")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    appendLogLine(path(QStringLiteral("good.log")), "x\r\n");
    ASSERT_TRUE(flushLogFiles()); // no failure pending
    QByteArray err = capturedStderr([&] {
        appendLogLine(path(QStringLiteral("fifo")), "x\r\n");
        EXPECT_FALSE(flushLogFiles());
        appendLogLine(QStringLiteral("bad|name"), "x\r\n");
        EXPECT_FALSE(flushLogFiles());
    });
    EXPECT_EQ(countOf(err, "cannot write the log file"), 1) << err.toStdString();
    appendLogLine(path(QStringLiteral("access.log")), "GET /\r\n");
    appendLogLine(path(QStringLiteral("access.log")), "GET /b\r\n");
    EXPECT_TRUE(flushLogFiles());
    EXPECT_EQ(fileBytes(QStringLiteral("access.log")), "GET /\r\nGET /b\r\n");
}
