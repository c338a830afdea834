// Entries as the log view holds them: time stamp forms, the client part,
// colours, continuation lines, trimming, and the copy on standard error.

#include "log/logEntry.h"
#include "logTestTools.h"

#include <QRegularExpression>

namespace {

const TlogPeer viewIpv4{{}, QStringLiteral("10.0.0.2"), QStringLiteral("51000"), {}};
const TlogPeer viewIpv6{QStringLiteral("bob"), QStringLiteral("2001:db8::7"), QStringLiteral("8080"), QStringLiteral("office")};

QStringList colourNames(const TlogLine &line)
{
    QStringList l;
    for (const TlogSegment &s : line.segments)
        l.append(s.colour.name());
    return l;
}

} // namespace

TEST_F(LogTest, WithoutStampsLinesStartWithTwoSpaces)
{
    settings.date = false;
    settings.time = false;
    apply();
    add2log(QStringLiteral("Server start"));
    add2log(QStringLiteral("Connected"), viewIpv4);
    EXPECT_EQ(viewLines(), QStringList({"  Server start", "  10.0.0.2:51000  Connected"}));
}

TEST_F(LogTest, StampFormsInTheView)
{
    settings.date = true;
    settings.isoDate = true;
    apply();
    add2log(QStringLiteral("both"));
    settings.time = false;
    apply();
    add2log(QStringLiteral("date"));
    settings.date = false;
    settings.time = true;
    apply();
    add2log(QStringLiteral("time"));
    const QStringList lines = viewLines();
    ASSERT_EQ(lines.size(), 3);
    const QString dateRx = QStringLiteral("\\d{4}-\\d\\d-\\d\\d"), timeRx = QStringLiteral("\\d\\d:\\d\\d:\\d\\d");
    EXPECT_TRUE(QRegularExpression(u'^' + dateRx + u' ' + timeRx + QStringLiteral("  both$")).match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_TRUE(QRegularExpression(u'^' + dateRx + QStringLiteral("  date$")).match(lines[1]).hasMatch()) << lines[1].toStdString();
    EXPECT_TRUE(QRegularExpression(u'^' + timeRx + QStringLiteral("  time$")).match(lines[2]).hasMatch()) << lines[2].toStdString();
}

TEST_F(LogTest, ThreeLineEntryAndItsColours)
{
    settings.time = false;
    apply();
    add2log(QStringLiteral("Deleted files in /up\r\na.txt\r\nb.txt"), viewIpv6, TlogColour::red());
    add2log(QStringLiteral("plain"));
    EXPECT_EQ(viewLines(), QStringList({"  bob@[2001:db8::7]:8080 {office}  Deleted files in /up", "> a.txt", "> b.txt",
                                        "  plain"}));
    ASSERT_EQ(model.lineCount(), 4);
    EXPECT_EQ(colourNames(model.line(0)), QStringList({"#ff0000", "#008000", "#ff0000"}));
    EXPECT_EQ(colourNames(model.line(1)), QStringList({"#0000ff"}));
    EXPECT_EQ(colourNames(model.line(2)), QStringList({"#0000ff"}));
    // Without a client there is no green part; the text keeps the view's colour.
    EXPECT_EQ(colourNames(model.line(3)), QStringList({"#ff0000", "default"}));
    EXPECT_EQ(model.text(), "  bob@[2001:db8::7]:8080 {office}  Deleted files in /up\n> a.txt\n> b.txt\n  plain\n");
}

TEST_F(LogTest, TrimmedToNineTenthsPastTheLimit)
{
    settings.time = false;
    apply();
    qsizetype appendedLines = 0, trimmedLines = 0;
    int trims = 0;
    QObject::connect(&model, &TlogModel::appended, [&](qsizetype first, qsizetype count) {
        EXPECT_EQ(first + count, model.lineCount());
        appendedLines += count;
    });
    QObject::connect(&model, &TlogModel::trimmed, [&](qsizetype count) {
        trimmedLines += count;
        ++trims;
    });
    for (int i = 1; i <= 2000; ++i)
        add2log(QString::number(i));
    EXPECT_EQ(model.lineCount(), 2000);
    EXPECT_EQ(trims, 0);
    add2log(QStringLiteral("2001"));
    EXPECT_EQ(model.lineCount(), 1800);
    EXPECT_EQ(trims, 1);
    EXPECT_EQ(trimmedLines, 201);
    EXPECT_EQ(appendedLines, 2001);
    // The newest stay.
    EXPECT_EQ(model.line(0).text(), "  202");
    EXPECT_EQ(model.line(1799).text(), "  2001");

    // A multi-line entry that crosses the limit counts all its lines.
    settings.maxLines = 10;
    apply();
    model.clear();
    for (int i = 0; i < 9; ++i)
        add2log(QStringLiteral("x"));
    add2log(QStringLiteral("a\nb\nc"));
    EXPECT_EQ(model.lineCount(), 9);
    EXPECT_EQ(model.line(8).text(), "> c");
}

// No limit: everything for a window to show; without a window, standard
// error has the lines and the model keeps only the recent ones.
TEST_F(LogTest, NoLimitKeepsEverythingOnlyForAWindow)
{
    settings.maxLines = 0;
    apply();
    setLogToStderr(false);
    for (int i = 0; i < 2500; ++i)
        add2log(QStringLiteral("line"));
    EXPECT_EQ(model.lineCount(), 2500);

    model.clear();
    setLogToStderr(true);
    capturedStderr([] {
        for (int i = 0; i < 2500; ++i)
            add2log(QStringLiteral("line"));
    });
    setLogToStderr(false);
    EXPECT_LE(model.lineCount(), headlessLogLines);
    EXPECT_GE(model.lineCount(), qRound64(0.9 * headlessLogLines));
}

// A program that never has a window keeps nothing for a view: standard
// error alone has the entries.
TEST_F(LogTest, NothingKeptWithoutAViewToShowIt)
{
    settings.time = false;
    apply();
    setLogToStderr(true);
    setLogKeptForView(false);
    const QByteArray err = capturedStderr([] { add2log(QStringLiteral("only on stderr")); });
    setLogKeptForView(true);
    EXPECT_EQ(model.lineCount(), 0);
    EXPECT_EQ(err, QByteArray("  only on stderr\n"));
    capturedStderr([] { add2log(QStringLiteral("kept again")); });
    EXPECT_EQ(viewLines(), QStringList{QStringLiteral("  kept again")});
}

TEST_F(LogTest, ScreenOffLeavesTheViewAlone)
{
    settings.toScreen = false;
    apply();
    setLogToStderr(true);
    const QByteArray err = capturedStderr([] { add2log(QStringLiteral("unseen")); });
    EXPECT_EQ(model.lineCount(), 0);
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
}

TEST_F(LogTest, StandardErrorCopiesTheViewText)
{
    settings.time = false;
    apply();
    setLogToStderr(true);
    const QByteArray err = capturedStderr([] {
        add2log(QStringLiteral("Connected"), viewIpv6);
        add2log(QString::fromUtf8("Request dump\r\nGET /caf\xc3\xa9 HTTP/1.1\r\nHost: x\r\n"), viewIpv4);
    });
    EXPECT_EQ(err, QByteArray("  bob@[2001:db8::7]:8080 {office}  Connected\n"
                              "  10.0.0.2:51000  Request dump\n"
                              "> GET /caf\xc3\xa9 HTTP/1.1\n"
                              "> Host: x\n"));
    EXPECT_EQ(model.lineCount(), 4);

    // With a window showing the model, nothing goes to standard error.
    setLogToStderr(false);
    const QByteArray none = capturedStderr([] { add2log(QStringLiteral("windowed")); });
    EXPECT_TRUE(none.isEmpty()) << none.toStdString();
    EXPECT_EQ(model.lineCount(), 5);
}

TEST_F(LogTest, StandardErrorWaitsForTheEventLoop)
{
    settings.time = true;
    apply();
    setLogToStderr(true);
    QByteArray before;
    const QByteArray err = capturedStderr([&] {
        add2log(QStringLiteral("one"));
        add2log(QStringLiteral("two"));
        std::fflush(stderr);
        // Nothing written yet: both wait for the loop's next pass.
        before = QByteArray::number(qint64(::lseek(2, 0, SEEK_CUR)));
    });
    EXPECT_EQ(before, "0");
    const QRegularExpression form(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  one\n\\d\\d:\\d\\d:\\d\\d  two\n$"));
    EXPECT_TRUE(form.match(QString::fromUtf8(err)).hasMatch()) << err.toStdString();
}

TEST_F(LogTest, QuietDropsEntries)
{
    settings.fileName = path(QStringLiteral("quiet.log"));
    apply();
    setLogToStderr(true);
    setLogQuiet(true);
    const QByteArray err = capturedStderr([] { add2log(QStringLiteral("hidden")); });
    setLogQuiet(false);
    EXPECT_TRUE(err.isEmpty());
    EXPECT_EQ(model.lineCount(), 0);
    flushLogFiles();
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("quiet.log"))));
}

TEST(LogWithoutModel, EntriesStillReachStandardError)
{
    ASSERT_EQ(TlogModel::find(), nullptr);
    TlogSettings s;
    s.time = false;
    setLogSettings(s);
    const QByteArray err = capturedStderr([] { add2log(QStringLiteral("no view")); });
    setLogSettings(TlogSettings());
    EXPECT_EQ(err, "  no view\n");
}
