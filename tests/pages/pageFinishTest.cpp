// The last steps of a folder page: the list joined in place of its stand-in,
// its quote markers removed and the counters replaced, with the list read
// for counters only when the marks gathered item by item say it may hold one.

#include "pages/folderPage.h"
#include "pages/pageFinish.h"

#include <QRandomGenerator>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

// The marks read one character at a time.
TlistMarks plainMarksOf(QStringView s)
{
    TlistMarks m;
    for (qsizetype i = 0; i < s.size(); ++i) {
        m.brace |= s[i] == u'{' || s[i] == u'}';
        m.counterSign |= s[i] == u'%' && i + 1 < s.size() && (s[i + 1] == u's' || s[i + 1] == u'b');
    }
    return m;
}

// A text of `pieces` drawn from `alphabet`.
QString randomText(QRandomGenerator &rng, const QStringList &alphabet, int pieces)
{
    QString s;
    for (int k = 0; k < pieces; ++k)
        s += alphabet[rng.bounded(int(alphabet.size()))];
    return s;
}

// The characters looked for, and others whose low byte is one of them: a
// narrowing that cut the high byte off would take them for the real ones.
const QStringList kMarkAlphabet = {
    "a", "a", "a", "x", "%", "s", "b", "{", "}", QString(QChar(0x0125)), QString(QChar(0x0173)),
    QString(QChar(0x017B)), QString(QChar(0x7D7D)), QString(QChar(0xFF25)), QString(QChar(0xFDD0)),
    "%20", "S", "B"};

TEST(ListMarks, AgreeWithACharacterByCharacterLook)
{
    QRandomGenerator rng(20261211);
    for (int round = 0; round < 20000; ++round) {
        const QString s = randomText(rng, kMarkAlphabet, rng.bounded(60));
        TlistMarks fast;
        addListMarks(fast, s);
        const TlistMarks plain = plainMarksOf(s);
        ASSERT_EQ(fast.brace, plain.brace) << s.toStdString();
        ASSERT_EQ(fast.counterSign, plain.counterSign) << s.toStdString();
    }
    // One mark at every place of texts of every length up to four steps,
    // the rest plain: the steps, their ends and the tail all see it.
    for (int n = 1; n <= 66; ++n)
        for (int at = 0; at < n; ++at)
            for (const QString &mark : {QStringLiteral("{"), QStringLiteral("}"), QStringLiteral("%s"),
                                        QStringLiteral("%b"), QStringLiteral("%")}) {
                QString s(n, u'a');
                s.replace(at, mark.size(), mark);
                s.truncate(n);
                TlistMarks fast;
                addListMarks(fast, s);
                const TlistMarks plain = plainMarksOf(s);
                ASSERT_EQ(fast.brace, plain.brace) << n << " " << at << " " << s.toStdString();
                ASSERT_EQ(fast.counterSign, plain.counterSign) << n << " " << at << " " << s.toStdString();
            }
}

TEST(ListMarks, GatheredItemByItemLikeTheWholeList)
{
    // The page hands each item's text from the last character of the one
    // before: a "%" ending an item and an "s" starting the next make a sign.
    QRandomGenerator rng(7);
    for (int round = 0; round < 5000; ++round) {
        QString list;
        TlistMarks marks;
        const int items = 1 + rng.bounded(6);
        for (int k = 0; k < items; ++k) {
            const qsizetype start = list.size();
            list += randomText(rng, kMarkAlphabet, rng.bounded(25));
            if (!marks.complete())
                addListMarks(marks, QStringView(list).mid(start == 0 ? 0 : start - 1));
        }
        const TlistMarks plain = plainMarksOf(list);
        ASSERT_EQ(marks.brace, plain.brace) << list.toStdString();
        ASSERT_EQ(marks.counterSign, plain.counterSign) << list.toStdString();
    }
    TlistMarks split;
    addListMarks(split, u"a b c 100%");
    EXPECT_FALSE(split.counterSign);
    addListMarks(split, u"%sequential%");
    EXPECT_TRUE(split.counterSign);
    EXPECT_FALSE(split.brace);
}

// What the page did before the list's counters could be left unread: the
// quote markers removed, the list joined, the whole page read for counters.
QString joinedThenCounted(QString page, QString list, bool brace, const QString &buildTime)
{
    if (brace) {
        list.remove(QStringLiteral("{:"));
        list.remove(QStringLiteral(":}"));
    }
    page.replace(listStandIn(), list);
    replacePageCounters(page, buildTime);
    return page;
}

TEST(FinishFolderPage, SameAsJoiningThenCountingTheWholePage)
{
    // Pieces that make counters, near misses, quote markers that join what
    // stands around them, and lone letters and signs for the list's edges.
    const QStringList listPieces = {"<tr>", "a", "s", "b", "%", "%20", "%sequential%", "%build-time%",
                                    "%seq", "uential%", "{:", ":}", "{", "}", ":", "x y"};
    const QStringList pagePieces = {"<p>", "%", "s", "b", "%sequential%", "%build-time%", "q",
                                    "%s", listStandIn(), listStandIn()};
    QRandomGenerator rng(42);
    int skipped = 0; // lists whose counters were not looked for
    for (int round = 0; round < 20000; ++round) {
        QString page = randomText(rng, pagePieces, rng.bounded(8));
        if (!page.contains(listStandIn()))
            page.insert(rng.bounded(int(page.size()) + 1), listStandIn());
        const QString list = randomText(rng, listPieces, 1 + rng.bounded(10));
        TlistMarks marks;
        addListMarks(marks, list);
        const QString expected = joinedThenCounted(page, list, marks.brace, "0.25");
        QString moved = list;
        ASSERT_EQ(finishFolderPage(page, std::move(moved), marks, "0.25"), expected)
            << page.toStdString() << " | " << list.toStdString();
        if (!marks.counterSign && !marks.brace) ++skipped;
    }
    EXPECT_GT(skipped, 1000); // the shortcut itself was tried
}

TEST(FinishFolderPage, NumbersThePageAroundAListWithoutCounters)
{
    const QString page = "<h1>%sequential%</h1>" + listStandIn() + "<f>%sequential% %build-time%</f>";
    const QString list = "<li>a%20b</li><li>100%</li><li>c</li>";
    TlistMarks marks;
    addListMarks(marks, list);
    ASSERT_FALSE(marks.counterSign);
    EXPECT_EQ(finishFolderPage(page, QString(list), marks, "0.007"),
              "<h1>1</h1>" + list + "<f>2 0.007</f>");
    // Items that number themselves take the numbers between the page's.
    const QString counted = "<li>%sequential%</li><li>%sequential%</li>";
    TlistMarks countedMarks;
    addListMarks(countedMarks, counted);
    EXPECT_EQ(finishFolderPage(page, QString(counted), countedMarks, "0.007"),
              "<h1>1</h1><li>2</li><li>3</li><f>4 0.007</f>");
    // Quote markers the items kept go, and what they stood between is read.
    const QString quoted = "<li>{:%:}sequential%</li>";
    TlistMarks quotedMarks;
    addListMarks(quotedMarks, quoted);
    EXPECT_EQ(finishFolderPage(page, QString(quoted), quotedMarks, "0.007"),
              "<h1>1</h1><li>2</li><f>3 0.007</f>");
}

} // namespace
