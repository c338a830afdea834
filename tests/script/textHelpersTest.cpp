// Quoting, disarming and number conventions.
#include "script/macroParser.h"
#include "script/macroText.h"
#include "scriptTestTools.h"
#include "util/inertText.h"

#include <gtest/gtest.h>

TEST(MacroText, QuoteNeutralisesBothQuoteMarkers)
{
    EXPECT_EQ(macroQuote(QStringLiteral("plain")), QStringLiteral("plain"));
    EXPECT_EQ(macroQuote(QStringLiteral("a|b")), QStringLiteral("{:a|b:}"));
    EXPECT_EQ(macroQuote(QStringLiteral("x:}{.y.}{:z")),
              QStringLiteral("{:x&#58;}{.y.}&#123;:z:}"));
    // Whatever the value, a quoted text stays balanced and nothing in it runs.
    for (const char *v : {"{:", ":}", "{.a.}:}{.b.}", "{:{:", ".}", "|{:x"}) {
        QString t = QStringLiteral("[") + macroQuote(QString::fromUtf8(v)) + QStringLiteral("]");
        int calls = 0;
        EXPECT_NO_THROW(parseAndExpand(
            t,
            [&calls](const QString &f, const QStringList &, bool) {
                ++calls;
                return f;
            },
            true))
            << v;
        EXPECT_EQ(calls, 0) << v;
    }
    EXPECT_EQ(macroDequote(QStringLiteral("  {:a:}  ")), QStringLiteral("a"));
    EXPECT_EQ(macroDequote(QStringLiteral("{:a")), QStringLiteral("{:a"));
    EXPECT_EQ(macroDequote(QStringLiteral("{::}")), QString());
}

TEST(MacroText, DisarmAndEncodeMarkers)
{
    const struct
    {
        const char *in;
        const char *disarmed;
    } cases[] = {
        {"{.x.}", "&#123;.x&#46;}"},
        {"a|b{:c:}", "a&#124;b&#123;:c&#58;}"},
        {"%user% 100% %a-1%", "&#37;user% 100% &#37;a-1%"},
        {"%a b%", "%a b%"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(disarmMacros(QString::fromUtf8(c.in)), QString::fromUtf8(c.disarmed)) << c.in;
    QString withNul = QStringLiteral("ok");
    withNul += QChar(0);
    withNul += QStringLiteral("{.x.}");
    EXPECT_EQ(disarmMacros(withNul), QStringLiteral("ok"));
    EXPECT_EQ(encodeMarkers(QStringLiteral("a{.b.}|%c%")),
              QStringLiteral("a&#123;.b&#46;}&#124;%c%"));
}

// Text from disk or from a visitor: whatever it holds, the parser offers
// nothing in it to the callback, and a page shows it as it was.
TEST(MacroText, InertTextRunsNothing)
{
    const struct
    {
        const char *in;
        const char *inert;
    } cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"100% done", "100% done"},
        {"%cwd%.txt", "&#37;cwd%.txt"},
        {"%ip%%host%.txt", "&#37;ip%&#37;host%.txt"},
        {"%x%y%z", "&#37;x&#37;y%z"},
        {"%%user%", "%&#37;user%"},
        {"%_x%", "&#37;_x%"},
        {"{.x.}", "{:{.x.}:}"},
        {"a|b %user%", "{:a|b &#37;user%:}"},
        {"x:}{:y", "{:x&#58;}&#123;:y:}"},
    };
    for (const auto &c : cases) {
        const QString inert = makeInert(QString::fromUtf8(c.in));
        EXPECT_EQ(inert, QString::fromUtf8(c.inert)) << c.in;
        QString t = QStringLiteral("[") + inert + QStringLiteral("]");
        QStringList offered;
        EXPECT_NO_THROW(parseAndExpand(
            t,
            [&offered](const QString &f, const QStringList &, bool) {
                offered << f;
                return QStringLiteral("RAN");
            },
            true))
            << c.in;
        EXPECT_EQ(offered, QStringList()) << c.in;
    }
    // Percent escapes stay as they are: no symbol is named with hexadecimal
    // digits only.
    EXPECT_EQ(makeInert(QStringLiteral("caf%C3%A9%20x")), QStringLiteral("caf%C3%A9%20x"));
    EXPECT_EQ(makeInert(QStringLiteral("%C3%date%")), QStringLiteral("%C3&#37;date%"));
    // A text is quoted exactly when it holds what the parser reads as a marker.
    const QString alphabet = QStringLiteral("{}.:|a");
    for (int k = 0; k < 3000; ++k) {
        QString t;
        for (int j = 0, v = k * 7919; j < k % 7; ++j, v /= 6)
            t += alphabet[v % 6];
        EXPECT_EQ(makeInert(t) != t, containsMacroMarker(t)) << t.toStdString();
    }
}

TEST(MacroText, NumbersAndTruth)
{
    const struct
    {
        double v;
        const char *s;
    } formats[] = {
        {2.5, "2.5"},
        {7, "7"},
        {-0.0, "0"},
        {1e20, "1E20"},
        {1e-5, "1E-5"},
        {0.0001, "0.0001"},
        {123456789012345, "123456789012345"},
        {1e15, "1E15"},
        {0.1 + 0.2, "0.3"},
        {-1.5e-10, "-1.5E-10"},
    };
    for (const auto &f : formats)
        EXPECT_EQ(formatMacroNumber(f.v), QString::fromUtf8(f.s)) << f.s;
    for (const char *t : {"", "0", "0.0", " 0 ", "-0"})
        EXPECT_FALSE(macroIsTrue(QString::fromUtf8(t))) << t;
    for (const char *t : {"1", "a", "0x", " ", "nan", "inf"})
        EXPECT_TRUE(macroIsTrue(QString::fromUtf8(t))) << t;
    EXPECT_FALSE(parseMacroFloat(QStringLiteral("1,5")));
    EXPECT_FALSE(parseMacroFloat(QStringLiteral("1e999")));
    EXPECT_EQ(parseMacroInt(QStringLiteral(" 42 ")), 42);
    EXPECT_FALSE(parseMacroInt(QStringLiteral("99999999999999999999")));
}
