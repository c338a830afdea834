// The engine's rules: names, errors, aliases, prefix forms, comparisons,
// namespaces, break, logging and the entry points.
#include "scriptTestTools.h"
#include "tpl/mainTemplate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(MacroEngine, NamesErrorsAndComparisons)
{
    const QString ifErr = illegal(QStringLiteral("if"));
    const TioCase cases[] = {
        {"{.}", ""},
        {"{. |x.}", ""},
        {"{.a = b.}", ""},
        {"{.1.0 = 1.}", "1"},
        {"{.abc < ABD.}", "1"},
        {"{.10 > 9.}", "1"}, // numbers, not texts
        {"{.b >= a.}", "1"},
        {"{.a <> A.}", ""},
        {"{.a != b.}", "1"},
        {"{.if|1|yes /if.}", "yes"},
        {"{.comment|{.set|x|1.}hidden.}{.^x.}", "1"},
        {"{.if|1|{:a|b:}.}", "a|b"},
        {"{.if|1|a{:|:}b.}", "a|b"},
    };
    EXPECT_EXPANSIONS(cases);
    TtestConn conn;
    EXPECT_EQ(run(QStringLiteral("{.if|1.}"), &conn), ifErr);
    EXPECT_EQ(run(QStringLiteral("{.no such macro|1.}"), &conn),
              illegal(QStringLiteral("no such macro")));
    EXPECT_EQ(macroErrorText(QStringLiteral(" x "), QString()),
              QStringLiteral("<div class=macroerror>macro error: x</div>"));
}

TEST(MacroEngine, UrlVariablesInComparisonsAndTheQuestionForm)
{
    TtestConn conn;
    conn.query.insert(QStringLiteral("mode"), QStringLiteral("list"));
    conn.query.insert(QStringLiteral("evil"), QStringLiteral("{.x.}"));
    EXPECT_EQ(run(QStringLiteral("{.?mode = list.}"), &conn), QStringLiteral("1"));
    EXPECT_EQ(run(QStringLiteral("[{.?mode.}]"), &conn), QStringLiteral("[list]"));
    EXPECT_EQ(run(QStringLiteral("{.?evil.}"), &conn), QStringLiteral("&#123;.x&#46;}"));
    EXPECT_EQ(run(QStringLiteral("{.?mode|var=m.}[{.^m.}]"), &conn), QStringLiteral("[list]"));
    EXPECT_EQ(runScriptText(QStringLiteral("{.?mode.}"), {}, nullptr),
              macroErrorText(QStringLiteral("?mode"), QStringLiteral("cannot be used here")));
}

TEST(MacroEngine, DisabledMacrosShowTheirTextButSymbolsWork)
{
    macroSettings().enableMacros = false;
    TtestConn conn;
    const QString out = run(QStringLiteral("{.if|1|a.}%s%"), &conn, nullptr, {"%s%", "S"});
    macroSettings().enableMacros = true;
    EXPECT_EQ(out, QStringLiteral("if|1|aS"));
}

TEST(MacroEngine, AliasesAndDollarParameters)
{
    auto tpl = std::make_shared<Ttpl>(
        QStringLiteral("[special:alias]\nx=if|$1|yes|no\nset append=set|$1|[$2]\n"));
    TtestConn conn;
    EXPECT_EQ(run(QStringLiteral("{.x|1.}{.x|0.}"), &conn, tpl), QStringLiteral("yesno"));
    // The template's alias wins over the built-in one of the same name.
    EXPECT_EQ(run(QStringLiteral("{.set append|v|a.}{.^v.}"), &conn, tpl), QStringLiteral(" [a]"));
    EXPECT_EQ(replaceDollarParams(QStringLiteral("$1-$2-$3-$9"), {"a", "b"}, 0),
              QStringLiteral("a-b--$9"));
    // Plain replacement in increasing order: "$1" is replaced inside "$10" first.
    EXPECT_EQ(replaceDollarParams(QStringLiteral("$1$10"), {"a"}, 0), QStringLiteral("aa0"));
    EXPECT_EQ(replaceDollarParams(QStringLiteral("$1"), {}, 0), QStringLiteral("$1"));
    EXPECT_EQ(replaceDollarParams(QStringLiteral("[$1]"), {"name", "v"}, 1), QStringLiteral("[v]"));
}

TEST(MacroEngine, PureResultsAreReusedOnlyForTheSameMacro)
{
    // The same text gives the same result again.
    EXPECT_EQ(run(QStringLiteral("{.encode html|<a>.}{.encode html|<a>.}{.encode html|<b>.}")),
              QStringLiteral("&lt;a&gt;&lt;a&gt;&lt;b&gt;"));
    // A template's alias of that name takes over, though a result was kept.
    auto tpl = std::make_shared<Ttpl>(QStringLiteral("[special:alias]\nencode html=if|1|ALIAS\n"));
    EXPECT_EQ(run(QStringLiteral("{.encode html|<a>.}"), nullptr, tpl), QStringLiteral("ALIAS"));
    EXPECT_EQ(run(QStringLiteral("{.encode html|<a>.}")), QStringLiteral("&lt;a&gt;"));
    // Macros that read state read it at every call.
    TtestConn conn;
    EXPECT_EQ(run(QStringLiteral("{.set|v|a.}{.^v.}{.set|v|b.}{.^v.}"), &conn), QStringLiteral(" a b"));
}

TEST(MacroEngine, BuiltInAliases)
{
    const TioCase cases[] = {
        {"{.set|v|abc.}{.var length|v.}", " 3"},
        {"{.is substring|b|abc.}", "2"},
        {"{.set|v|a.}{.set append|v|b.}{.^v.}", "  ab"},
        {"[{.123 if 2|<|x|>.}][{.123 if 2|<||>.}]", "[<x>][]"},
        {"{.between|1|2|3.}{.between|3|2|1.}[{.between|1|5|3.}]", "11[]"},
        {"{.between!|1|1|3.}|{.between!|1|2|3.}", "|1"},
        {"{.set|s|a,b,c.}{.chop|s|,.}/{.^s.}", " a,/b,c"},
        {"{.set|s|abc.}[{.chop|s|,.}][{.^s.}]", " [abc][]"},
        {"{.cache|t|k|{:{.inc|#cachecalls.}v:}.}{.cache|t|k|{:{.inc|#cachecalls.}w:}.}{.^#"
         "cachecalls.}",
         "vv1"},
    };
    globalVars().setVar(QStringLiteral("cachecalls"), QString());
    EXPECT_EXPANSIONS(cases);
    globalVars().setVar(QStringLiteral("cachecalls"), QString());
}

TEST(MacroEngine, SelfRecursiveAliasStopsCleanly)
{
    // Each round starts a fresh expansion through a loop, which the per-call
    // stack alone cannot see: the run's budget stops it.
    auto tpl = std::make_shared<Ttpl>(
        QStringLiteral("[special:alias]\nrec=for|i|1|1|{:r{.rec.}:}\ngrow=grow|x$1\n"));
    TtestConn conn;
    const QString out = run(QStringLiteral("{.rec.}|{.grow|a.}"), &conn, tpl);
    EXPECT_TRUE(out.startsWith(QLatin1String("rrr"))) << qPrintable(out.left(50));
    EXPECT_LT(out.size(), 100000);
}

TEST(MacroEngine, BreakEndsTheRun)
{
    TtestConn conn;
    // Symbols of the text itself are replaced before any macro runs.
    EXPECT_EQ(
        run(QStringLiteral("a{.break|result=stop.}b{.if|1|c.}%x%d"), &conn, nullptr, {"%x%", "X"}),
        QStringLiteral("astopbXd"));
    EXPECT_EQ(run(QStringLiteral("{.break.}{.if|1|%x%.}e"), &conn, nullptr, {"%x%", "X"}),
              QStringLiteral("e"));
    EXPECT_EQ(run(QStringLiteral("a{.break|if=0|result=stop.}b"), &conn), QStringLiteral("ab"));
    EXPECT_EQ(run(QStringLiteral("{.for|i|1|9|{:{.^i.}{.break|if={.{.^i.} = 3.}.}:}.}"), &conn),
              QStringLiteral("123"));
}

TEST(MacroEngine, Namespaces)
{
    TtestConn conn;
    EXPECT_EQ(run(QStringLiteral("{.set|a|1.}"), &conn), QStringLiteral(" "));
    EXPECT_EQ(run(QStringLiteral("{.^a.}"), &conn), QStringLiteral("1")); // the connection keeps it
    conn.resetForRequest();
    EXPECT_EQ(run(QStringLiteral("[{.^a.}]"), &conn), QStringLiteral("[]"));

    // Without a connection a variable lives for one run; "#" ones survive.
    EXPECT_EQ(runScriptText(QStringLiteral("{.set|b|1.}{.set|#g|2.}{.^b.}"), {}, nullptr),
              QStringLiteral("  1"));
    EXPECT_EQ(runScriptText(QStringLiteral("[{.^b.}][{.^#g.}][{.^#G.}]"), {}, nullptr),
              QStringLiteral("[][2][2]"));
    globalVars().setVar(QStringLiteral("g"), QString());

    // Deleting: an empty value removes, and nothing to delete gives empty.
    EXPECT_EQ(run(QStringLiteral("{.set|z|1.}[{.set|z.}][{.set|z.}]"), &conn),
              QStringLiteral(" [ ][]"));
}

TEST(MacroEngine, PrefixForms)
{
    auto tpl =
        std::make_shared<Ttpl>(QStringLiteral("[special:strings]\nhello=Hi\n[sec]\n<%v%>\n"));
    TtestConn conn;
    const TioCase cases[] = {
        {"{.!hello.}", "Hi"},        {"{.!missing|fallback.}", "fallback"},
        {"{.!missing.}", "missing"}, {"{.set table|special:strings|hello=Hey.}{.!hello.}", "Hey"},
        {"{.$sec.}", "<V>"},         {"{.set|f|$2-$1.}{.^f|a|b.}", " b-a"},
    };
    for (const TioCase &c : cases) {
        TtestConn fresh;
        EXPECT_EQ(run(QString::fromUtf8(c.in), &fresh, tpl, {"%v%", "V"}), QString::fromUtf8(c.out))
            << c.in;
    }
}

TEST(MacroEngine, SymbolsFromTheTableAndTheRegistry)
{
    TmacroRegistry::instance().addSymbol(QStringLiteral("%test-sym%"),
                                         [](TmacroData &md, QString &r) {
                                             if (!md.cd) return false;
                                             r = QStringLiteral("on");
                                             return true;
                                         });
    TmacroRegistry::instance().addSymbol(QStringLiteral("%test-folder%"),
                                         [](TmacroData &, QString &r) {
                                             r = QStringLiteral("{.x.}");
                                             return true;
                                         });
    TtestConn conn;
    EXPECT_EQ(run(QStringLiteral("%test-sym%"), &conn), QStringLiteral("on"));
    EXPECT_EQ(run(QStringLiteral("%TEST-SYM%"), &conn), QStringLiteral("%TEST-SYM%"));
    EXPECT_EQ(runScriptText(QStringLiteral("%test-sym%"), {}, nullptr),
              QStringLiteral("%test-sym%"));
    // Folder values are shown, never run.
    EXPECT_EQ(run(QStringLiteral("%test-folder%"), &conn), QStringLiteral("{.x.}"));
    // The last pair of the table wins, and names ignore case.
    EXPECT_EQ(run(QStringLiteral("%A%"), &conn, nullptr, {"%a%", "1", "%a%", "2"}),
              QStringLiteral("2"));
}

TEST(MacroEngine, SymSymbolsReadTheMainTemplate)
{
    setDefaultTemplateText(QStringLiteral("[sym-x]\nX%v%\n"));
    EXPECT_EQ(runScriptText(QStringLiteral("%sym-x%|[%sym-none%]|%SYM-x%"), {"%v%", "1"}, nullptr),
              QStringLiteral("X1|[]|")); // section names keep their case
    setDefaultTemplateText(QString());
}

TEST(MacroEngine, RegisteredMacrosHonourTheirMinimum)
{
    TmacroRegistry::instance().add(QStringLiteral("test two"), 2, [](TmacroCall &c) {
        c.result = c.par(0) + c.par(1) + QString::number(c.unnamedCount);
    });
    TtestConn conn;
    EXPECT_EQ(run(QStringLiteral("{.Test Two|a|b|c=d.}"), &conn), QStringLiteral("ab2"));
    EXPECT_EQ(run(QStringLiteral("{.test two|a.}"), &conn), illegal(QStringLiteral("test two")));
}

TEST(MacroEngine, UnmatchedMarkerReportsAndStops)
{
    QString status;
    macroSettings().statusBar = [&status](const QString &s, int) { status = s; };
    TmacroData md;
    TtestConn conn;
    md.cd = &conn;
    QString t = QStringLiteral("ok\n {.if|1|x");
    EXPECT_FALSE(runMacroText(t, md, true));
    macroSettings().statusBar = nullptr;
    EXPECT_EQ(status, QStringLiteral("Template error at 2,2: unmatched marker: {.if|1|x ..."));
}

TEST(MacroEngine, MacroLog)
{
    QTemporaryDir dir;
    macroSettings().logFile = dir.filePath(QStringLiteral("macros-log.html"));
    macroSettings().logEnabled = true;
    TtestConn conn;
    run(QStringLiteral("{.add|1|2.}{.encode html|<b>.}"), &conn);
    macroSettings().logEnabled = false;
    QFile f(macroSettings().logFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(f.readAll());
    f.close();
    EXPECT_TRUE(log.startsWith(QLatin1String("<html><head>")));
    EXPECT_EQ(log.count(QLatin1String("<hr>")), 1);
    EXPECT_TRUE(log.contains(QLatin1String("<dt>add|1|2</dt><dd>3</dd>")));
    EXPECT_TRUE(
        log.contains(QLatin1String("<dt>encode html|&lt;b&gt;</dt><dd>&amp;lt;b&amp;gt;</dd>")));
    resetMacroLog();
    EXPECT_EQ(QFileInfo(macroSettings().logFile).size(), 0);
    macroSettings().logFile = QStringLiteral("macros-log.html");
}

TEST(MacroEngine, EventSections)
{
    setEventsTemplate(
        std::make_shared<Ttpl>(QStringLiteral("[start=quit]\n{.set|x|1.}%event%/%who%{.^x.}\n")));
    EXPECT_EQ(runEventSection(QStringLiteral("quit"), {"%who%", "me"}),
              QStringLiteral(" quit/me1"));
    EXPECT_EQ(runEventSection(QStringLiteral("nothing"), {}), QString());
    // A symbol's value (a path on disk, a name a visitor chose) is not run.
    setEventsTemplate(std::make_shared<Ttpl>(QStringLiteral("[file deleted]\n<%item-deleted%>\n")));
    EXPECT_EQ(runEventSection(QStringLiteral("file deleted"), {"%item-deleted%", "/d/{.chr|65.}%event%"}),
              QStringLiteral("</d/{.chr|65.}&#37;event%>"));
    setEventsTemplate(nullptr);
}

TEST(MacroEngine, ALoopingEventSectionIsCutShortAndReportedOnce)
{
    QStringList logged;
    macroSettings().addToLog = [&](const QString &text, const QString &) { logged << text; };
    setEventsTemplate(std::make_shared<Ttpl>(
        QStringLiteral("[request]\n{.for|i|1|50000000|{.inc|n.}.}{.^n.}\n")));
    for (int k = 0; k < 2; ++k) {
        const QString out = runEventSection(QStringLiteral("request"), {});
        EXPECT_LT(out.toLongLong(), 50000000);
        EXPECT_GT(out.toLongLong(), 0);
    }
    EXPECT_EQ(logged, QStringList{"Event script \"request\" stopped: too many loop rounds"});
    // Loaded again: reported again.
    setEventsTemplate(eventsTemplate());
    runEventSection(QStringLiteral("request"), {});
    EXPECT_EQ(logged.size(), 2);
    macroSettings().addToLog = nullptr;
    setEventsTemplate(nullptr);
}

TEST(MacroEngine, ScriptCommandPrintsTheExpansion)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.txt"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{.add|2|3.}");
    f.close();
    testing::internal::CaptureStdout();
    const int rc = runScriptCommand(path);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "5");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(runScriptCommand(dir.filePath(QStringLiteral("missing"))), 2);
}
