// A prepared text must expand exactly as the parser expands a copy of it:
// same result, same callback calls in the same order, same errors.
#include "script/macroParser.h"
#include "script/preparedText.h"
#include "scriptTestTools.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// A callback whose answers depend on what it was asked before, so that a
// call skipped, repeated or reordered shows in the result.
struct Tscripted
{
    QStringList calls;
    QStringList symbolValues;
    int symbolCalls = 0;

    TmacroCallback callback()
    {
        return [this](const QString &full, const QStringList &params, bool isSymbol) -> QString {
            calls << (isSymbol ? full : QStringLiteral("M:") + params.join(QStringLiteral("¦")));
            if (isSymbol) {
                if (full == QLatin1String("%same%")) return full; // left as written
                if (symbolValues.isEmpty()) return QStringLiteral("<") + full + QStringLiteral(">");
                return symbolValues[symbolCalls++ % symbolValues.size()];
            }
            if (params.value(0) == QLatin1String("nest")) return QStringLiteral("{.inner.}%b%");
            return QStringLiteral("(") + params.join(QLatin1Char(',')) + QStringLiteral(")");
        };
    }
};

struct Toutcome
{
    QString text;
    QStringList calls;
    bool threw = false;
};

Toutcome byParser(const QString &text, const QStringList &values, int maxDepth = 500)
{
    Tscripted s;
    s.symbolValues = values;
    Toutcome o;
    o.text = text;
    TexpansionBudget budget;
    budget.maxDepth = maxDepth;
    try {
        parseAndExpand(o.text, s.callback(), false, &budget);
    } catch (const EtplError &) {
        o.threw = true;
    }
    o.calls = s.calls;
    return o;
}

Toutcome prepared(const TpreparedText &p, const QStringList &values, int maxDepth = 500)
{
    Tscripted s;
    s.symbolValues = values;
    Toutcome o;
    o.text = QStringLiteral("before|");
    TexpansionBudget budget;
    budget.maxDepth = maxDepth;
    try {
        p.expandInto(o.text, s.callback(), &budget);
    } catch (const EtplError &) {
        o.threw = true;
    }
    EXPECT_TRUE(o.text.startsWith(QLatin1String("before|"))) << "appends, never replaces";
    o.text.remove(0, 7);
    o.calls = s.calls;
    return o;
}

void expectSame(const QString &text, const QStringList &values, int maxDepth = 500)
{
    const TpreparedText p(text);
    const Toutcome want = byParser(text, values, maxDepth);
    const Toutcome got = prepared(p, values, maxDepth);
    EXPECT_EQ(got.text, want.text) << "text: " << text.toStdString();
    EXPECT_EQ(got.calls, want.calls) << "text: " << text.toStdString();
    EXPECT_EQ(got.threw, want.threw) << "text: " << text.toStdString();
}

} // namespace

TEST(PreparedText, ItemLikeTextsExpandAsTheParserDoes)
{
    const QString item = QStringLiteral(
        "<tr class=\"%item-type%\"><td><a href=\"%item-url%\">%item-name%</a>%protected%%new%"
        "{.if|%item-relative-folder%|<div>%item-relative-folder%</div>.}</td>\n"
        "<td>%item-size%</td><td>{: {.not run.} %item-size% :}</td></tr>\n");
    for (const QStringList &values :
         {QStringList{}, QStringList{QString()}, QStringList{QStringLiteral("1.5 K"), QString()},
          QStringList{QStringLiteral("a|b"), QStringLiteral("x")},
          QStringList{QStringLiteral("{:quoted:}"), QStringLiteral("12:30")},
          QStringList{QStringLiteral("{.nest.}"), QStringLiteral("%same%")},
          QStringList{QStringLiteral(".}"), QStringLiteral("{.")}})
        expectSame(item, values);
}

TEST(PreparedText, EdgesOfMarkersAndSymbols)
{
    const char *const texts[] = {
        "{.}",          "{.a|{.}.}",      "x{%a%.y.}",       "{.a|%a%}.}",     "%a%.}",
        "{.a.}%a%:}",   ":} lone",        ".} unmatched",    "{.never closed", "{: {. :} .}",
        "{:{.a.}:}{.b.}", "%a%%b%%a%",    "{.nest.}%a%",     "no symbols",     "",
        "{.a|%same%|%a%.}", "%a%{:|:}%b%", "{.a|{:{.b.}:}|c.}", "tail{.",        "a\0b%a%",
    };
    const QStringList valueSets[] = {
        {},
        {QString()},
        {QStringLiteral(".")},
        {QStringLiteral("{")},
        {QStringLiteral("}"), QStringLiteral(":")},
        {QStringLiteral("v|w")},
        {QStringLiteral("%b%"), QStringLiteral("{.m.}")},
    };
    for (const char *t : texts)
        for (const QStringList &values : valueSets)
            expectSame(QString::fromUtf8(t), values);
}

// Random texts made of the pieces that matter to either pass.
TEST(PreparedText, MarkersAnywhereInLongValues)
{
    // A marker or a symbol at every place of values long enough to be read
    // several characters a step, and in their last few characters: each one
    // must be seen, or the value would be copied unexpanded.
    const QString text = QStringLiteral("<%a%>{.m|%b%.}[%c%]");
    const QString marks[] = {QStringLiteral("{.n.}"), QStringLiteral("x.}"), QStringLiteral("%a%"),
                             QStringLiteral("{:q:}")};
    for (int at = 0; at <= 24; ++at) {
        for (const QString &mark : marks) {
            QString v(24, u'x');
            v.insert(at, mark);
            expectSame(text, {v, QStringLiteral("y"), v});
            expectSame(text, {QStringLiteral("y"), v, QStringLiteral("z")});
        }
    }
}

TEST(PreparedText, RandomTextsExpandAsTheParserDoes)
{
    const QStringList pieces = {
        QStringLiteral("ab"),   QStringLiteral(" "),    QStringLiteral("\n"),  QStringLiteral("%a%"),
        QStringLiteral("%b%"),  QStringLiteral("%same%"), QStringLiteral("{."), QStringLiteral(".}"),
        QStringLiteral("{:"),   QStringLiteral(":}"),   QStringLiteral("|"),   QStringLiteral("{"),
        QStringLiteral("}"),    QStringLiteral("."),    QStringLiteral(":"),   QStringLiteral("%"),
        QStringLiteral("{.if|"), QStringLiteral("{.nest.}"), QStringLiteral("%-x%"),
    };
    const QStringList valuePool = {
        QString(), QStringLiteral("v"), QStringLiteral("1.5"), QStringLiteral("{."),
        QStringLiteral(".}"), QStringLiteral("{:q:}"), QStringLiteral("|"), QStringLiteral("%b%"),
        QStringLiteral("{.m|%a%.}"), QStringLiteral("."), QStringLiteral(":"), QStringLiteral("}"),
    };
    std::mt19937 rng(20261209);
    for (int round = 0; round < 4000; ++round) {
        QString text;
        const int n = int(rng() % 14);
        for (int i = 0; i < n; ++i)
            text += pieces[rng() % pieces.size()];
        QStringList values;
        const int v = int(rng() % 4);
        for (int i = 0; i < v; ++i)
            values << valuePool[rng() % valuePool.size()];
        expectSame(text, values);
        if (HasFailure()) return; // the first difference says enough
    }
}

TEST(PreparedText, ABudgetSpentLeavesTheTextAsItIs)
{
    expectSame(QStringLiteral("%a% {.m.}"), {QStringLiteral("v")}, 0);
    expectSame(QStringLiteral("%a% {.nest.}"), {QStringLiteral("{.nest.}")}, 2);
}
