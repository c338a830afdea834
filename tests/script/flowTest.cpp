// Control flow, variables, tables, sections and truth macros.
#include "scriptTestTools.h"
#include "util/workingFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(FlowMacros, Branches)
{
    const TioCase cases[] = {
        {"{.if|1|a|b.}{.if|0|a|b.}{.if|0.0|a|b.}{.if| |a|b.}{.if|x|a.}", "abbba"},
        {"{.if not||a|b.}", "a"},
        {"{.set|v|1.}{.if|var=v|yes|no.}", " yes"},
        {"{.if|1|{:{.set|ran|1.}:}.}{.if|0|{:{.set|skipped|1.}:}.}[{.^ran.}][{.^skipped.}]",
         " [1][]"},
        {"{.switch|b|,|a,b|first|c|second|other.}", "first"},
        {"{.switch|z|,|a|1|other.}", "other"},
        {"{.switch|z|,|a|1.}", ""},
        {"{.switch|B|| a b |space.}", "space"},
    };
    EXPECT_EXPANSIONS(cases);
}

TEST(FlowMacros, Loops)
{
    const TioCase cases[] = {
        {"{.for|i|1|3|{:[{.^i.}]:}.}", "[1][2][3]"},
        {"{.for|i|3|1|{:{.^i.}:}.}", "321"},
        {"{.for|i|0|10|5|{:{.^i.},:}.}", "0,5,10,"},
        {"{.for|i|10|0|-4|{:{.^i.},:}.}", "10,6,2,"},
        {"{.for|i|1|3|0|x.}", ""},
        {"{.for|i|1|3|x.}{.^i.}", "xxx3"}, // the variable keeps its last value
        // An integer fourth parameter is the step, with an empty body after it.
        {"{.for|i|1|3|5.}[{.^i.}]", "[1]"},
        {"{.for|i|1|9|4.}[{.^i.}]", "[9]"},
        {"{.for each|x|a|b|{:({.^x.}):}.}", "(a)(b)"},
        {"{.set|lines|a=1\nb\nc=3.}{.for line|var=lines|{:<{.^line-key.}:{.^line-value.}>:}.}",
         " <a:1><:><c:3>"},
        {"{.set|n|3.}{.while|n|{:{.^n.}{.dec|n.}:}.}", " 321"},
        {"{.while|x|body.}", ""},
        {"{.while|x|body|else=none.}", "none"},
        {"{.set|n|2.}{.while|{:{.^n.}:}|{:+{.dec|n.}:}|var=out.}[{.^out.}]", " [++]"},
    };
    EXPECT_EXPANSIONS(cases);
    TtestConn conn;
    EXPECT_EQ(run(QStringLiteral("{.for|i|a|3|x.}"), &conn), illegal(QStringLiteral("for")));
    // A condition that stays true ends at the time limit.
    EXPECT_FALSE(run(QStringLiteral("{.set|t|1.}{.while|t|{:.:}|timeout=0.2.}"), &conn).isEmpty());
}

TEST(FlowMacros, LoopsWithHugeBoundsStayBounded)
{
    TtestConn conn;
    // Overflowing bounds do not wrap; a body without output ends by the round cap.
    EXPECT_EQ(run(QStringLiteral("{.for|i|-9223372036854775808|9223372036854775807|"
                                 "9223372036854775807|{:{.^i.};:}.}"),
                  &conn),
              QStringLiteral("-9223372036854775808;-1;9223372036854775806;"));
    macroSettings().maxResultSize = 10000;
    const QString big = run(
        QStringLiteral("{.for|i|1|100000000|{:0123456789:}.}|{.repeat|1001|0123456789.}"), &conn);
    const QString fits = run(QStringLiteral("{.repeat|1000|0123456789.}"), &conn);
    macroSettings().maxResultSize = 64 * 1024 * 1024;
    EXPECT_EQ(big, QStringLiteral("|")); // beyond the result cap both fail
    EXPECT_EQ(fits.size(), 10000);
}

TEST(FlowMacros, LoopRoundsOfARunShareItsBudget)
{
    // Every loop of the run, nested ones included, draws on the same rounds.
    const auto runWithRounds = [](const QString &text, qint64 rounds) {
        TtestConn conn;
        TmacroData md;
        md.cd = &conn;
        md.tpl = std::make_shared<Ttpl>();
        md.budget.loopRoundsLeft = rounds;
        QString t = text;
        runMacroText(t, md, true);
        return t;
    };
    EXPECT_EQ(runWithRounds(QStringLiteral("{.for|i|1|100|x.}"), 5), QStringLiteral("xxxxx"));
    EXPECT_EQ(runWithRounds(QStringLiteral("{.for|i|1|3|{:{.for|j|1|3|y.}-:}.}"), 7),
              QStringLiteral("yyy-yy-")); // 1+3, then 1+2, then none
    EXPECT_EQ(runWithRounds(QStringLiteral("{.for each|x|a|b|c|{:{.^x.}:}.}{.set|n|9.}"
                                           "{.while|n|{:{.dec|n.}w:}.}"), 4),
              QStringLiteral("abc w"));
    EXPECT_EQ(runWithRounds(QStringLiteral("{.set|l|a\nb.}{.for line|var=l|{:<{.^line.}>:}.}"), 0),
              QStringLiteral(" "));
}

TEST(FlowMacros, AfterTheList)
{
    TtestConn conn;
    // Pages expand with the quote markers kept, and again after the list.
    TmacroData first;
    first.cd = &conn;
    QString page = QStringLiteral("{.after the list|{:{.add|1|1.}:}.}");
    runMacroText(page, first, false);
    EXPECT_EQ(page, QStringLiteral("{.after the list|{:{.add|1|1.}:}.}"));
    TmacroData md;
    md.cd = &conn;
    md.afterTheList = true;
    QString t = QStringLiteral("{.after the list|{:{.add|1|1.}:}.}");
    runMacroText(t, md, true);
    EXPECT_EQ(t, QStringLiteral("2"));
}

TEST(FlowMacros, VariablesAndCounters)
{
    const TioCase cases[] = {
        {"{.set|a|1.}{.inc|a|5.}{.^a.}", " 6"},
        {"{.inc|a.}{.inc|a.}{.dec|a|5.}{.^a.}", "-3"},
        {"{.set|a|x.}{.inc|a.}{.^a.}", " 1"},
        {"{.set|a|9223372036854775807.}{.inc|a.}{.^a.}", " 9223372036854775807"},
        {"{.set|a|b.}{.set|a|c|mode=append.}{.set|a|z|mode=prepend.}{.^a.}", "   zbc"},
        {"{.set|a|1.}{.set|b|var=a.}{.^b.}", "  1"},
        {"{.set|a|  {:x|y:}  .}{.^a.}", " x|y"},
        {"{.set|f|<$1,$2>.}{.call|f|p|q.}", " <p,q>"},
        {"{.count|a.}{.count|a.}{.count|A.}{.count|b.}", "0120"},
        {"{.set|pa|1.}{.set|pb|2.}{.set|q|3.}{.var domain|p.}/{.var "
         "domain|p|get=values|separator=,.}",
         "   pa|pb/1,2"},
        {"{.length|ab c.}{.length| x .}{.set|v|abc.}{.length|var=v.}", "43 3"},
        {"{.length|😀.}", "2"}, // UTF-16 units
    };
    EXPECT_EXPANSIONS(cases);
    EXPECT_EQ(runScriptText(QStringLiteral("{.count|a.}"), {}, nullptr),
              illegal(QStringLiteral("count"))
                  .replace(QStringLiteral("not supported or illegal parameters"),
                           QStringLiteral("cannot be used here")));
}

TEST(FlowMacros, Tables)
{
    auto tpl =
        std::make_shared<Ttpl>(QStringLiteral("[colors]\nred=#f00\nRED=other\ngreen=#0f0\n"));
    const struct
    {
        const char *in;
        const char *out;
    } cases[] = {
        {"{.set table|t|k={:a|b:}.}{.from table|t|k.}", "a|b"},
        {"{.set table|t|a=1.}{.set table|t|b=2.}{.^t.}", "a=1\r\nb=2"},
        {"{.set|t|x=1\ny=2.}{.from table|t|Y.}", " 2"},
        {"{.set|t|x=1.}{.from table|t|x.}{.set|t|x=2.}{.from table|t|x.}", " 1 2"},
        {"{.from table|$colors|red.}|{.from table|$colors|green.}", "#f00|#0f0"},
        {"[{.from table|$nothing|a.}][{.from table|missing|a.}]", "[][]"},
        {"{.set|#ini|a=no\nb=yes.}[{.from table|#ini|a.}][{.from table|#ini|b.}]", " [][yes]"},
    };
    for (const auto &c : cases) {
        TtestConn conn;
        EXPECT_EQ(run(QString::fromUtf8(c.in), &conn, tpl), QString::fromUtf8(c.out)) << c.in;
    }
    globalVars().setVar(QStringLiteral("ini"), QString());
}

TEST(FlowMacros, SectionsAndTemplateChain)
{
    auto base = std::make_shared<Ttpl>(QStringLiteral("[a]\nbase-a\n[b]\nbase-b\n"));
    auto top = std::make_shared<Ttpl>(QStringLiteral("[a]\ntop-a\n"), base);
    const TioCase cases[] = {
        {"{.section|a.}/{.section|b.}/{.section|a|back=1.}/[{.section|a|back=2.}]",
         "top-a/base-b/base-a/[]"},
        {"{.$a.}/{.$b|back=1.}", "top-a/base-b"},
    };
    for (const TioCase &c : cases) {
        TtestConn conn;
        EXPECT_EQ(run(QString::fromUtf8(c.in), &conn, top), QString::fromUtf8(c.out)) << c.in;
    }
}

TEST(FlowMacros, SectionFromAFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("other.tpl"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[s]\n{.add|1|1.}\n");
    f.close();
    TtestConn conn;
    // A path (with a "/") gives the section quoted: shown, not run.
    EXPECT_EQ(run(QStringLiteral("{.section|s|file=") + path + QStringLiteral(".}"), &conn),
              QStringLiteral("{.add|1|1.}"));
    // A bare name is looked for in the working folder.
    ASSERT_TRUE(setWorkingFolder(dir.path()));
    EXPECT_EQ(run(QStringLiteral("{.section|s|other.tpl.}"), &conn), QStringLiteral("2"));
    resetWorkingFolder();
    EXPECT_EQ(run(QStringLiteral("{.section|s|other.tpl.}"), &conn), QString());
}

TEST(FlowMacros, TruthOperators)
{
    const TioCase cases[] = {
        {"{.and|1|0|1.}", "0"},
        {"{.and|1|a|b.}", "b"},
        {"{.or|0||x.}", "x"},
        {"{.or|0|.}", ""},
        {"{.not|0.}{.not|a.}", "1"},
        {"{.xor|1|0.}[{.xor|1|1.}]", "1[]"},
        {"{.=|1|1.0.}{.<|2|10.}{.<|b|A.}{.>=|a|A.}{.<>|a|b.}{.!=|a|a.}", "1111"},
    };
    EXPECT_EXPANSIONS(cases);
}
