// An entry taken apart: time stamp forms, the client part, the lines, and
// the form a terminal gets.

#include "log/logEntry.h"
#include "qtPrinters.h"

#include <gtest/gtest.h>

namespace {

const QDateTime sample(QDate(2020, 1, 7), QTime(14, 3, 7));

TlogSettings stampSettings(bool date, bool time, bool iso)
{
    TlogSettings s;
    s.date = date;
    s.time = time;
    s.isoDate = iso;
    return s;
}

} // namespace

TEST(LogTimeStamp, Forms)
{
    EXPECT_EQ(logTimeStamp(sample, stampSettings(false, true, false)), "14:03:07");
    EXPECT_EQ(logTimeStamp(sample, stampSettings(false, true, true)), "14:03:07");
    EXPECT_EQ(logTimeStamp(sample, stampSettings(true, true, true)), "2020-01-07 14:03:07");
    EXPECT_EQ(logTimeStamp(sample, stampSettings(true, false, true)), "2020-01-07");
    EXPECT_EQ(logTimeStamp(sample, stampSettings(false, false, true)), "");
    EXPECT_EQ(logTimeStamp(sample, stampSettings(false, false, false)), "");
    // The system's date form: whatever it is, the day and the time are there.
    const QString local = logTimeStamp(sample, stampSettings(true, true, false));
    EXPECT_TRUE(local.endsWith(QStringLiteral(" 14:03:07"))) << local.toStdString();
    EXPECT_TRUE(local.contains(QStringLiteral("7"))) << local.toStdString();
}

TEST(LogClientPart, UserAddressPortName)
{
    EXPECT_EQ(logClientPart({QStringLiteral("bob"), QStringLiteral("::1"), QStringLiteral("8080"), QStringLiteral("home")}),
              "bob@[::1]:8080 {home}");
    EXPECT_EQ(logClientPart({{}, QStringLiteral("10.0.0.2"), QStringLiteral("51000"), {}}), "10.0.0.2:51000");
    EXPECT_EQ(logClientPart({QStringLiteral("ann"), QStringLiteral("fe80::1"), QStringLiteral("1"), {}}),
              "ann@[fe80::1]:1");
    EXPECT_EQ(logClientPart({{}, QStringLiteral("1.2.3.4"), {}, QStringLiteral("lan")}), "1.2.3.4: {lan}");
    EXPECT_EQ(logClientPart({}), "");
}

TEST(LogEntry, LinesSplitAtEveryBreakKind)
{
    TlogEntry e = makeLogEntry(QStringLiteral("one\r\ntwo\nthree\rfour"), {}, TlogColour::red(), QStringLiteral("s"));
    EXPECT_EQ(e.first, "one");
    EXPECT_EQ(e.more, QStringList({"two", "three", "four"}));
    EXPECT_EQ(e.colour, TlogColour::red());
    EXPECT_EQ(e.stamp, "s");

    // A final break ends the last line; an empty line inside stays.
    e = makeLogEntry(QStringLiteral("head\r\n"), {}, {}, {});
    EXPECT_EQ(e.first, "head");
    EXPECT_TRUE(e.more.isEmpty());
    e = makeLogEntry(QStringLiteral("head\r\n\r\nbody\r\n"), {}, {}, {});
    EXPECT_EQ(e.more, QStringList({"", "body"}));
    e = makeLogEntry(QString(), {}, {}, {});
    EXPECT_EQ(e.first, "");
    EXPECT_TRUE(e.more.isEmpty());
    e = makeLogEntry(QStringLiteral("\n"), {}, {}, {});
    EXPECT_EQ(e.first, "");
    EXPECT_TRUE(e.more.isEmpty());
}

TEST(LogEntry, ScreenTextCannotDriveATerminal)
{
    const TlogPeer peer{{}, QStringLiteral("::1"), QStringLiteral("80"), {}};
    const TlogEntry e = makeLogEntry(QString::fromUtf8("Requested /x\x1b[2Jy\tz caf\xc3\xa9\r\nnext\x07line"), peer, {},
                                     QStringLiteral("12:00:00"));
    QByteArray out;
    appendLogScreenText(out, e);
    EXPECT_EQ(out, QByteArray("12:00:00  [::1]:80  Requested /x\\x1b[2Jy\tz caf\xc3\xa9\n"
                              "> next\\x07line\n"));
    // C1 controls too (0x9b starts a command on some terminals).
    out.clear();
    appendLogScreenText(out, makeLogEntry(QString(QChar(0x9b)) + u'm', {}, {}, {}));
    EXPECT_EQ(out, QByteArray("  \\x9bm\n"));
}

namespace {

// Each control character written as \xNN, everything else as UTF-8: the
// plain way, against which the screen text's fast paths are checked.
QByteArray screenReference(const QString &line)
{
    QByteArray r;
    qsizetype from = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char16_t c = line[i].unicode();
        if ((c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F)) {
            r += QStringView(line).sliced(from, i - from).toUtf8();
            r += QByteArray("\\x") + QByteArray::number(c, 16).rightJustified(2, '0');
            from = i + 1;
        }
    }
    return r + QStringView(line).sliced(from).toUtf8();
}

} // namespace

TEST(LogEntry, ScreenTextOfGeneratedLinesMatchesThePlainWay)
{
    // Plain runs long enough for the eight-at-a-step copy, with one odd
    // character at every place of a block and beyond it.
    const char16_t odd[] = {u'\t', 0x1F, 0x7F, 0x9B, 0xE9, 0x20AC, 0xFFFF, 0x20, 0x7E, 0x100, 0x8020};
    for (int len = 0; len <= 27; ++len)
        for (int at = -1; at < len; ++at)
            for (const char16_t c : odd) {
                QString line;
                for (int i = 0; i < len; ++i)
                    line += QChar(char16_t(u'!' + (i * 7) % 94));
                if (at >= 0)
                    line[at] = QChar(c);
                QByteArray out;
                appendLogScreenText(out, makeLogEntry(line, {}, {}, {}));
                ASSERT_EQ(out, "  " + screenReference(line) + "\n") << len << " " << at << " " << int(c);
            }
}

TEST(LogColour, ValuesAndNames)
{
    EXPECT_TRUE(TlogColour().isStandard());
    EXPECT_EQ(TlogColour(), TlogColour::standard());
    EXPECT_FALSE(TlogColour(0).isStandard()); // black is a colour
    EXPECT_NE(TlogColour(0), TlogColour());
    EXPECT_EQ(TlogColour(0x12345678).rgb(), 0x345678u);
    EXPECT_EQ(TlogColour::red().name(), "#ff0000");
    EXPECT_EQ(TlogColour::green().name(), "#008000");
    EXPECT_EQ(TlogColour::blue().name(), "#0000ff");
    EXPECT_EQ(TlogColour().name(), "default");
}

TEST(LogEntry, OneLineScreenTextMatchesTheEntrys)
{
    // Written straight from the peer, a one-line entry must give the bytes
    // of the entry made first: every kind of peer, with what a client can
    // put in a user or machine name, and every kind of text.
    const QString odd = QString::fromUtf8("\x1b[2Jé\xe2\x80\x8e\t") + QChar(0x9b) + QChar(0x7f);
    const TlogPeer peers[] = {
        {},
        {{}, QStringLiteral("10.0.0.2"), QStringLiteral("51000"), {}},
        {QStringLiteral("bob"), QStringLiteral("::1"), QStringLiteral("8080"), QStringLiteral("home")},
        {odd, QStringLiteral("fe80::1"), QStringLiteral("1"), odd},
        {QStringLiteral("ann"), QStringLiteral("1.2.3.4"), {}, QStringLiteral("lan")},
        {QStringLiteral("user only"), {}, QStringLiteral("80"), QStringLiteral("name only")},
    };
    const QString texts[] = {QString(), QStringLiteral("Fully downloaded - 1.0 K @ 0 B/s - /pub/1k.bin"),
                             QStringLiteral("a\tb"), odd + QStringLiteral(" /x%20y"),
                             QString::fromUtf8("\xf0\x9f\x98\x80 non-ASCII \xe6\x97\xa5")};
    const QString stamps[] = {QString(), QStringLiteral("2026-12-11 17:00:00"), odd};
    for (const QString &stamp : stamps)
        for (const TlogPeer &peer : peers)
            for (const QString &text : texts) {
                QByteArray direct("kept"), viaEntry("kept");
                appendLogScreenLine(direct, stamp, peer, text);
                appendLogScreenText(viaEntry, makeLogEntry(text, peer, {}, stamp));
                ASSERT_EQ(direct, viaEntry) << qPrintable(peer.user) << " " << qPrintable(text);
            }
}
