// The parser alone, with a callback that records what it is asked.
#include "script/macroExpander.h"
#include "script/macroParser.h"
#include "scriptTestTools.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

struct Trecorder
{
    QStringList calls;
    std::function<QString(const QString &, const QStringList &, bool)> answer;

    TmacroCallback callback()
    {
        return [this](const QString &full, const QStringList &params, bool isSymbol) {
            calls << (isSymbol ? full : QStringLiteral("M:") + params.join(QStringLiteral("¦")));
            return answer ? answer(full, params, isSymbol)
                          : (isSymbol ? full : QStringLiteral("<") + full + QStringLiteral(">"));
        };
    }
};

QString expand(const QString &in, Trecorder &r, bool unquote = false)
{
    QString t = in;
    parseAndExpand(t, r.callback(), unquote);
    return t;
}

} // namespace

TEST(MacroParser, SymbolsNeedALetterAndAClosingPercent)
{
    const struct
    {
        const char *in;
        QStringList offered;
    } cases[] = {
        {"100%", {}},  {"50% off 20%", {}},    {"%%user%", {"%user%"}},
        {"%a b%", {}}, {"%_x-1%", {"%_x-1%"}}, {"%a%%b%", {"%a%", "%b%"}},
        {"%1a%", {}},
    };
    for (const auto &c : cases) {
        Trecorder r;
        expand(QString::fromUtf8(c.in), r);
        EXPECT_EQ(r.calls, c.offered) << c.in;
    }
}

TEST(MacroParser, SymbolValueIsExpandedButNotRescannedByItsPass)
{
    Trecorder r;
    r.answer = [](const QString &full, const QStringList &, bool isSymbol) {
        if (!isSymbol) return QStringLiteral("[") + full + QStringLiteral("]");
        if (full == QLatin1String("%a%")) return QStringLiteral("%b%{.m.}");
        if (full == QLatin1String("%b%")) return QStringLiteral("B");
        return full;
    };
    EXPECT_EQ(expand(QStringLiteral("x%a%y"), r), QStringLiteral("xB[m]y"));
}

TEST(MacroParser, RepeatedSymbolIsAskedOnceUntilAValueRunsMacros)
{
    Trecorder r;
    r.answer = [](const QString &full, const QStringList &, bool isSymbol) {
        if (!isSymbol) return QStringLiteral("m");
        return full == QLatin1String("%m%") ? QStringLiteral("{.run.}") : QStringLiteral("v");
    };
    EXPECT_EQ(expand(QStringLiteral("%a% %a% %A% %a%"), r), QStringLiteral("v v v v"));
    EXPECT_EQ(r.calls, (QStringList{"%a%", "%A%"}));
    // A macro run by a value may change what symbols read: asked again.
    r.calls.clear();
    EXPECT_EQ(expand(QStringLiteral("%a% %m% %a% %m%"), r), QStringLiteral("v m v m"));
    EXPECT_EQ(r.calls, (QStringList{"%a%", "%m%", "M:run", "%a%", "%m%", "M:run"}));
    // A lone "%" (an encoded URL) runs nothing; "%C3%" looks like a symbol
    // and is asked for, which may run something.
    r.answer = [](const QString &full, const QStringList &, bool isSymbol) {
        if (!isSymbol) return QStringLiteral("m");
        if (full == QLatin1String("%u%")) return QStringLiteral("a%20b%2");
        if (full == QLatin1String("%e%")) return QStringLiteral("caf%C3%A9");
        return full == QLatin1String("%a%") ? QStringLiteral("v") : full;
    };
    r.calls.clear();
    EXPECT_EQ(expand(QStringLiteral("%a% %u% %a% %u%"), r), QStringLiteral("v a%20b%2 v a%20b%2"));
    EXPECT_EQ(r.calls, (QStringList{"%a%", "%u%"}));
    r.calls.clear();
    EXPECT_EQ(expand(QStringLiteral("%a% %e% %a%"), r), QStringLiteral("v caf%C3%A9 v"));
    EXPECT_EQ(r.calls, (QStringList{"%a%", "%e%", "%C3%", "%a%"}));
}

TEST(MacroParser, InnermostFirstAndPieces)
{
    Trecorder r;
    EXPECT_EQ(expand(QStringLiteral("{.a|{.b.}.}"), r), QStringLiteral("<a|<b>>"));
    EXPECT_EQ(r.calls, (QStringList{"M:b", "M:a¦<b>"}));

    Trecorder q;
    expand(QStringLiteral("{.a|{:x|y:}|z.}"), q);
    EXPECT_EQ(q.calls, (QStringList{"M:a¦{:x|y:}¦z"}));

    Trecorder n; // nested quotes: both pipes stay inside
    expand(QStringLiteral("{.a|{:{:p|q:}|r:}|s.}"), n);
    EXPECT_EQ(n.calls, (QStringList{"M:a¦{:{:p|q:}|r:}¦s"}));

    Trecorder inQuote;
    expand(QStringLiteral("{.a|{:{.b.}:}.}"), inQuote);
    EXPECT_EQ(inQuote.calls, (QStringList{"M:a¦{:{.b.}:}"}));
}

TEST(MacroParser, ResultsAreRescanned)
{
    Trecorder r;
    r.answer = [](const QString &full, const QStringList &, bool) {
        return full == QLatin1String("a") ? QStringLiteral("{.b.}") : QStringLiteral("B");
    };
    EXPECT_EQ(expand(QStringLiteral("({.a.})"), r), QStringLiteral("(B)"));
}

TEST(MacroParser, QuotedResultsStayInertButWhatFollowsAQuoteRuns)
{
    // A macro handing back a quoted value: nothing inside runs. Anything
    // outside the quote, or a symbol, still does.
    const struct {
        const char *result;
        const char *expected; // quote markers removed
        bool runsB;
    } cases[] = {
        {"{:{.b.}:}", "{.b.}", false},
        {"{:{:{.b.}:}x:}", "{.b.}x", false},
        {"{::}", "", false},
        {"{:}", "}", false}, // the colon is shared, as the pass reads it
        {"{:a:}{.b.}", "aB", true},
        {"{.b.}{:a:}", "Ba", true},
        {"{:a:}x{:c:}", "axc", false},
        {"{:a.}", "a.}", false}, // never closed: an error inside the result
    };
    for (const auto &c : cases) {
        Trecorder r;
        r.answer = [&c](const QString &full, const QStringList &, bool isSymbol) {
            if (isSymbol) return QStringLiteral("S");
            return full == QLatin1String("a") ? QString::fromUtf8(c.result) : QStringLiteral("B");
        };
        EXPECT_EQ(expand(QStringLiteral("{.a.}"), r, true), QString::fromUtf8(c.expected)) << c.result;
        EXPECT_EQ(r.calls.contains(QStringLiteral("M:b")), c.runsB) << c.result;
    }
    // A symbol inside a quoted result is still replaced, as before.
    Trecorder s;
    s.answer = [](const QString &full, const QStringList &, bool isSymbol) {
        if (isSymbol) return QStringLiteral("S");
        return full == QLatin1String("a") ? QStringLiteral("{:%x%:}") : QStringLiteral("B");
    };
    EXPECT_EQ(expand(QStringLiteral("{.a.}"), s, true), QStringLiteral("S"));
}

TEST(MacroParser, SelfProducingMacroStopsAfterOneRescan)
{
    Trecorder r;
    r.answer = [](const QString &full, const QStringList &, bool) {
        return QStringLiteral("{.") + full + QStringLiteral(".}");
    };
    EXPECT_EQ(expand(QStringLiteral("{.a.}"), r), QStringLiteral("{.a.}"));
    EXPECT_EQ(r.calls.size(), 1);

    Trecorder s; // case is ignored on the expansion stack
    s.answer = [](const QString &full, const QStringList &, bool isSymbol) {
        return isSymbol ? full.toUpper() : full;
    };
    EXPECT_EQ(expand(QStringLiteral("%abc%"), s), QStringLiteral("%ABC%"));
}

TEST(MacroParser, GrowingRecursionStopsAtFiftyLevels)
{
    Trecorder r;
    // Each result is a new macro with a longer name: only the level limit stops it.
    r.answer = [](const QString &full, const QStringList &, bool) {
        return QStringLiteral("{.") + full + QStringLiteral("x.}");
    };
    const QString out = expand(QStringLiteral("{.a.}"), r);
    EXPECT_EQ(r.calls.size(), kExpansionStackSize);
    EXPECT_EQ(out, QStringLiteral("{.a") + QString(kExpansionStackSize, QLatin1Char('x')) +
                       QStringLiteral(".}"));
}

TEST(MacroParser, BudgetBoundsNestingAcrossCalls)
{
    TexpansionBudget budget;
    budget.maxDepth = 30;
    int calls = 0;
    std::function<QString(const QString &, const QStringList &, bool)> cb;
    cb = [&](const QString &, const QStringList &, bool) {
        ++calls;
        QString inner = QStringLiteral("{.again.}"); // a fresh expansion each time, as loops do
        parseAndExpand(inner, cb, false, &budget);
        return inner;
    };
    QString t = QStringLiteral("{.again.}");
    parseAndExpand(t, cb, false, &budget);
    EXPECT_LE(calls, 30);
    EXPECT_EQ(budget.depth, 0);
}

TEST(MacroParser, UnmatchedMarkersGiveRowColumnAndCode)
{
    const struct
    {
        const char *in;
        int row;
        int col;
        const char *code;
    } cases[] = {
        {"x.}", 1, 2, ".}"},
        {"{.a", 1, 1, "{.a"},
        {"ab\ncd{:x", 2, 3, "{:x"},
        {"line1\n  {.a|{.b.}", 2, 3, "{.a|b"},
    };
    for (const auto &c : cases) {
        Trecorder r;
        r.answer = [](const QString &full, const QStringList &, bool) { return full; };
        QString t = QString::fromUtf8(c.in);
        try {
            parseAndExpand(t, r.callback(), false);
            ADD_FAILURE() << "no error for " << c.in;
        } catch (const EtplError &e) {
            EXPECT_EQ(e.msg, QStringLiteral("unmatched marker")) << c.in;
            EXPECT_EQ(e.row, c.row) << c.in;
            EXPECT_EQ(e.col, c.col) << c.in;
            EXPECT_EQ(e.code, QString::fromUtf8(c.code)) << c.in;
        }
    }
}

TEST(MacroParser, ErrorsInsideResultsAreIgnored)
{
    Trecorder r;
    r.answer = [](const QString &, const QStringList &, bool) { return QStringLiteral("bad.}"); };
    EXPECT_EQ(expand(QStringLiteral("{.a.}!"), r), QStringLiteral("bad.}!"));
}

TEST(MacroParser, QuotesAndPlainText)
{
    Trecorder r;
    EXPECT_EQ(expand(QStringLiteral("a:}b"), r), QStringLiteral("a:}b")); // stray close is text
    EXPECT_EQ(expand(QStringLiteral("{:a|b:}"), r, true), QStringLiteral("a|b"));
    EXPECT_EQ(expand(QStringLiteral("{:{.x.}:}"), r, false), QStringLiteral("{:{.x.}:}"));
    EXPECT_TRUE(r.calls.isEmpty());
    // A "|" inside a quote that never closes leaves the macro as written.
    Trecorder u;
    QString t = QStringLiteral("{.a|{:x|y.}");
    EXPECT_THROW(parseAndExpand(t, u.callback(), false), EtplError); // the quote swallows ".}"
}

TEST(MacroParser, PlainSymbolValuesPassThroughUnchanged)
{
    // Values without markers are not rebuilt, but a value that does open a
    // macro is still expanded, and a stray close in a value stays as text.
    const struct
    {
        const char *value;
        const char *page;
    } cases[] = {
        {"notes & ideas 0003.tar.gz", "[notes & ideas 0003.tar.gz]"},
        {"a:}b.c", "[a:}b.c]"},
        {"1.5 KB: {x}", "[1.5 KB: {x}]"},
        {"x{.m.}y", "[x<m>y]"},
        {"{:q{.m.}:}", "[{:q{.m.}:}]"},
    };
    for (const auto &c : cases) {
        Trecorder r;
        r.answer = [&](const QString &full, const QStringList &, bool isSymbol) {
            return isSymbol ? QString::fromUtf8(c.value) : QStringLiteral("<") + full + QStringLiteral(">");
        };
        EXPECT_EQ(expand(QStringLiteral("[%v%]"), r), QString::fromUtf8(c.page)) << c.value;
    }
}

TEST(MacroParser, EmptyMacrosAndNul)
{
    Trecorder r;
    EXPECT_EQ(expand(QStringLiteral("{.}"), r), QStringLiteral("<>"));
    EXPECT_EQ(r.calls, (QStringList{"M:"}));
    Trecorder n;
    QString withNul = QStringLiteral("ab");
    withNul += QChar(0);
    withNul += QStringLiteral("{.x.}");
    EXPECT_EQ(expand(withNul, n), QStringLiteral("ab"));
    EXPECT_TRUE(n.calls.isEmpty());
}

TEST(MacroParser, MarkerSearch)
{
    EXPECT_FALSE(containsMacroMarker(QStringLiteral("a.b{c}:d")));
    for (const char *s : {"{.", "{:", ".}", ":}", "|"})
        EXPECT_TRUE(containsMacroMarker(QStringLiteral("x") + QLatin1String(s))) << s;
    EXPECT_EQ(findMacroMarker(QStringLiteral("ab|c|"), 3), 4);
    EXPECT_EQ(findMacroMarker(QStringLiteral("abc"), 0), -1);
    // Against the plain rule, position by position: a "|", or a marker
    // starting at or after `from`.
    const auto reference = [](const QString &t, qsizetype from) -> qsizetype {
        for (qsizetype i = qMax<qsizetype>(from, 0); i < t.size(); ++i) {
            if (t[i] == u'|') return i;
            const QStringView two = QStringView(t).mid(i, 2);
            if (two == u"{." || two == u"{:" || two == u".}" || two == u":}") return i;
        }
        return -1;
    };
    const QString alphabet = QStringLiteral("{}.:|a");
    for (int k = 0; k < 3000; ++k) {
        QString t;
        for (int j = 0, v = k * 7919; j < k % 7; ++j, v /= 6)
            t += alphabet[v % 6];
        for (qsizetype from = -1; from <= t.size(); ++from)
            EXPECT_EQ(findMacroMarker(t, from), reference(t, from)) << t.toStdString() << " " << from;
    }
    // Longer texts, read several characters a step: a few marker characters
    // anywhere in a run of plain ones, on either side of every step's edge.
    for (int k = 0; k < 2000; ++k) {
        QString t(5 + k % 37, u'a');
        for (int j = 0, v = k * 104729; j < k % 4; ++j, v /= 97)
            t[v % t.size()] = alphabet[(v / 7) % 5];
        for (qsizetype from = -1; from <= t.size(); ++from)
            EXPECT_EQ(findMacroMarker(t, from), reference(t, from)) << t.toStdString() << " " << from;
    }
}

TEST(MacroParser, SymbolSearch)
{
    // Each symbol found, in order, against the pattern of a symbol, in texts
    // long enough to be read several characters a step: encoded signs, near
    // misses and symbols on either side of every step's edge.
    static const QRegularExpression symbol(QStringLiteral("%[A-Za-z_][A-Za-z0-9_-]*%"));
    const QString alphabet = QStringLiteral("%%a_2-Z \u00e9");
    for (int k = 0; k < 3000; ++k) {
        QString t(3 + k % 29, u'x');
        // Unsigned: the generator's products wrap around.
        quint32 v = quint32(k) * 7919u + 13u;
        for (int j = 0; j < 2 + k % 6; ++j, v = v * 31u + 7u)
            t[qsizetype(v % quint32(t.size()))] = alphabet[qsizetype((v / 11u) % quint32(alphabet.size()))];
        QStringList found, want;
        qsizetype from = 0, start = 0, end = 0;
        while (macroscan::nextSymbol(t, from, start, end))
            found << QString::number(start) + QLatin1Char(':') + t.mid(start, end - start);
        for (auto it = symbol.globalMatch(t); it.hasNext();) {
            const auto m = it.next();
            want << QString::number(m.capturedStart()) + QLatin1Char(':') + m.captured();
        }
        EXPECT_EQ(found, want) << t.toStdString();
        EXPECT_EQ(macroscan::mayHoldSymbol(t), !want.isEmpty()) << t.toStdString();
    }
}

TEST(MacroParser, ErrorLeavesTheTextAsFarAsExpanded)
{
    Trecorder r;
    r.answer = [](const QString &, const QStringList &, bool) { return QStringLiteral("R"); };
    QString t = QStringLiteral("{.a.} x.} {.b.}");
    EXPECT_THROW(parseAndExpand(t, r.callback(), false), EtplError);
    EXPECT_EQ(t, QStringLiteral("R x.} {.b.}"));
    QString u = QStringLiteral("{.a.}{.b");
    EXPECT_THROW(parseAndExpand(u, r.callback(), false), EtplError);
    EXPECT_EQ(u, QStringLiteral("R{.b"));
}

TEST(MacroParser, LargeTextsExpandInLinearTime)
{
    // 40,000 macros and symbols in a 600 KB text: replacing each in place
    // would move the whole tail every time.
    QString big;
    for (int i = 0; i < 20000; ++i)
        big += QStringLiteral("row %s% {.m|x.} ..........\n");
    Trecorder r;
    r.answer = [](const QString &, const QStringList &, bool isSymbol) {
        return isSymbol ? QStringLiteral("S") : QStringLiteral("M");
    };
    QElapsedTimer timer;
    timer.start();
    parseAndExpand(big, r.callback(), false);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(big.size(), 20000 * QStringLiteral("row S M ..........\n").size());
    // Every macro runs; the symbol, holding no macro, is asked once.
    EXPECT_EQ(r.calls.filter(QStringLiteral("M:")).size(), 20000);
    EXPECT_EQ(r.calls.size(), 20001);
}
