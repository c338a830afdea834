// The usage text, its manual-page form and the long switches answered
// before the program starts.
#include "app/longSwitches.h"
#include "app/usage.h"

#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

TEST(Usage, WrapsAtSpacesWithinTheWidth)
{
    const QString text = QStringLiteral("one two three four five six seven eight nine ten eleven");
    const QList<QString> lines = wrapWords(text, 20, 4, 0);
    ASSERT_GT(lines.size(), 2);
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("one")));
    QStringList words;
    for (const QString &l : lines) {
        EXPECT_LE(l.size(), 20) << qPrintable(l);
        if (&l != &lines.first()) {
            EXPECT_TRUE(l.startsWith(QStringLiteral("    ")) && l[4] != u' ') << qPrintable(l);
        }
        words << l.split(u' ', Qt::SkipEmptyParts);
    }
    EXPECT_EQ(words.join(u' '), text); // nothing lost, nothing reordered

    // A word wider than the line stands alone rather than being cut.
    const QList<QString> longWord = wrapWords(QStringLiteral("a ") + QString(30, u'x') + QStringLiteral(" b"), 20, 2);
    EXPECT_EQ(longWord, (QList<QString>{QStringLiteral("  a"), QStringLiteral("  ") + QString(30, u'x'),
                                        QStringLiteral("  b")}));
    EXPECT_TRUE(wrapWords(QString(), 20, 2).isEmpty());
}

TEST(Usage, HelpTextLinesFitAndEverySwitchHeadsItsHelp)
{
    for (const int width : {79, 50}) {
        const QString text = usageText(width);
        ASSERT_TRUE(text.endsWith(u'\n'));
        const QStringList lines = text.split(u'\n');
        for (const QString &l : lines) {
            // Only a single word too long for any line may stick out.
            if (l.trimmed().contains(u' ')) {
                EXPECT_LE(l.size(), width) << qPrintable(l);
            }
        }
        for (const TusageSwitch &s : usage().switches) {
            const QString head = QStringLiteral("  ") + s.name + (s.argument.isEmpty() ? QString() : u' ' + s.argument);
            qsizetype at = -1;
            for (qsizetype i = 0; i < lines.size(); ++i)
                if (lines[i] == head || lines[i].startsWith(head + QStringLiteral("  ")))
                    at = i;
            ASSERT_GE(at, 0) << qPrintable(s.name);
            // The help starts in the same column for every switch.
            const QString helpLine = lines[at] == head ? lines[at + 1] : lines[at];
            const QString firstWord = s.help.section(u' ', 0, 0);
            EXPECT_EQ(helpLine.indexOf(firstWord, head.size()), 24) << qPrintable(s.name);
        }
    }
}

TEST(Usage, RoffEscaping)
{
    EXPECT_EQ(roffEscape(QStringLiteral("-c a\\nb")), QStringLiteral("\\-c a\\enb"));
    EXPECT_EQ(roffEscape(QStringLiteral(".vfs file")), QStringLiteral("\\&.vfs file"));
    EXPECT_EQ(roffEscape(QStringLiteral("'quoted'")), QStringLiteral("\\&'quoted'"));
    EXPECT_EQ(roffEscape(QStringLiteral("a.b 'c'")), QStringLiteral("a.b 'c'"));
}

TEST(Usage, ManPageIsWellFormedRoff)
{
    const QString page = usageManPage();
    const QStringList lines = page.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral(".TH ZOF 1 ")));
    EXPECT_TRUE(lines.first().contains(roffEscape(versionLine())));
    const QRegularExpression request(QStringLiteral("^\\.(TH|SH|TP|PP|B)( |$)"));
    const QRegularExpression bareHyphen(QStringLiteral("(^|[^\\\\])-"));
    for (const QString &l : lines) {
        if (l.startsWith(u'.') || l.startsWith(u'\''))
            EXPECT_TRUE(request.match(l).hasMatch()) << qPrintable(l);
        else
            EXPECT_FALSE(bareHyphen.match(l).hasMatch()) << qPrintable(l);
    }
    for (const TusageSwitch &s : usage().switches)
        EXPECT_TRUE(lines.contains(QStringLiteral("\\fB") + roffEscape(s.name) + QStringLiteral("\\fR")
                                   + (s.argument.isEmpty() ? QString()
                                                           : QStringLiteral(" \\fI") + s.argument + QStringLiteral("\\fR"))))
            << qPrintable(s.name);
    for (const TusageSection &sec : usage().sections)
        EXPECT_TRUE(lines.contains(QStringLiteral(".SH ") + sec.title) || lines.contains(QStringLiteral(".SH \"") + sec.title + u'"'))
            << qPrintable(sec.title);
}

TEST(LongSwitches, InfoRequestSkipsSwitchArguments)
{
    EXPECT_EQ(infoRequest({}), IR_NONE);
    EXPECT_EQ(infoRequest({"--help"}), IR_HELP);
    EXPECT_EQ(infoRequest({"folder", "--version"}), IR_VERSION);
    EXPECT_EQ(infoRequest({"--headless", "--man-page"}), IR_MAN_PAGE);
    EXPECT_EQ(infoRequest({"--version", "--help"}), IR_VERSION);
    // The word after a switch that takes one is that switch's argument.
    EXPECT_EQ(infoRequest({"-c", "--help"}), IR_NONE);
    EXPECT_EQ(infoRequest({"-i", "--version", "-q"}), IR_NONE);
    EXPECT_EQ(infoRequest({"--root", "--help"}), IR_NONE);
    EXPECT_EQ(infoRequest({"--run-script", "--version"}), IR_NONE);
    EXPECT_EQ(infoRequest({"-q", "--help"}), IR_HELP); // "-q" takes none
    EXPECT_EQ(infoRequest({"-c", "port=1", "--help"}), IR_HELP);
    EXPECT_EQ(infoRequest({"-help", "--Help", "help"}), IR_NONE);
}
