// Program macros: exec, the desktop through a recording stand-in, the log,
// the configuration and the server hooks.

#include "config/config.h"
#include "macros/sourcePath.h"
#include "util/files.h"
#include "script/macroEngine.h"
#include "script/macroRegistry.h"
#include "serve/macrosProgram.h"
#include "serve/serveMacros.h"
#include "qtPrinters.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QString run(const QString &text)
{
    TmacroData md;
    md.tpl = std::make_shared<Ttpl>();
    QString t = text;
    runMacroText(t, md, true);
    return t;
}

class ProgramMacros : public ::testing::Test
{
protected:
    void SetUp() override { registerProgramMacros(TmacroRegistry::instance()); }
    void TearDown() override
    {
        globalVars().clear();
        setMacroDesktop(nullptr);
        setMacroLogWriter(nullptr);
    }
};

TEST_F(ProgramMacros, ExecCapturesOutputAndExitCode)
{
    EXPECT_EQ(run("{.exec|echo hi|out=#o.}"), " ");
    EXPECT_EQ(globalVars().value("o"), "hi\n");
    // Parameter 1 is appended to the command line.
    EXPECT_EQ(run("{.exec|echo|a  b|out=#o|exit code=#e.}"), " ");
    EXPECT_EQ(globalVars().value("o"), "a b\n");
    EXPECT_EQ(globalVars().value("e"), "0");
    EXPECT_EQ(run("{.exec|sh|-c \"echo out; echo err >&2; exit 3\"|out=#o|exit code=#e.}"), " ");
    EXPECT_EQ(globalVars().value("o"), "out\n"); // standard error is not captured
    EXPECT_EQ(globalVars().value("e"), "3");
    // A program that cannot start: empty result, variables emptied.
    EXPECT_EQ(run("{.exec|\\nonexistent\\program|out=#o|exit code=#e.}"), "");
    EXPECT_FALSE(globalVars().contains("o"));
    EXPECT_FALSE(globalVars().contains("e"));
    // Disk paths in template form reach the program with "/".
    QTemporaryDir tmp;
    QFile f(tmp.path() + "/in.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("content");
    f.close();
    EXPECT_EQ(run("{.exec|cat " + templatePath(f.fileName()) + "|out=#o.}"), " ");
    EXPECT_EQ(globalVars().value("o"), "content");
}

TEST_F(ProgramMacros, ExecStopsAtTheTimeoutAndKeepsTheLoopRunning)
{
    bool timerFired = false;
    QTimer::singleShot(50, [&] { timerFired = true; });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(run("{.exec|sleep 10|timeout=0.4|exit code=#e.}"), " ");
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_GE(clock.elapsed(), 350);
    EXPECT_EQ(globalVars().value("e"), "259");
    EXPECT_TRUE(timerFired); // served while waiting
}

TEST_F(ProgramMacros, ExecOutputIsCapped)
{
    // Killed at the timeout with more output waiting: still capped. The
    // timeout leaves a busy machine time to write the first MiB (at one
    // second, one run of the whole suite under the sanitizers saw none).
    EXPECT_EQ(run("{.exec|yes|out=#o|timeout=3|exit code=#e.}"), " ");
    EXPECT_EQ(globalVars().value("o").size(), maxExecOutput);
    EXPECT_TRUE(globalVars().value("o").startsWith("y\ny\n"));
    EXPECT_EQ(globalVars().value("e"), "259");
}

TEST_F(ProgramMacros, ExecLaunchWithoutWaiting)
{
    EXPECT_EQ(run("{.exec|true.}"), " ");
    EXPECT_EQ(run("{.exec|.}{.exec|\"\".}"), "");
}

TEST_F(ProgramMacros, CommandTextSplitting)
{
    QTemporaryDir tmp;
    const QString spaced = tmp.path() + "/my app.sh";
    QFile f(spaced);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const struct {
        QString command, program, args;
    } cases[] = {
        {"cmd /c echo hi", "cmd", "/c echo hi"},
        {"\"\\opt\\my app\\run\" -v x", "\\opt\\my app\\run", "-v x"},
        {"prog", "prog", ""},
        {"  prog   a  ", "prog", "a"},
        {"a\"b c\" d", "ab c", "d"},
        // A path with spaces only when it is there.
        {templatePath(spaced), templatePath(spaced), ""},
        {"touch \\tmp\\x.txt", "touch", "\\tmp\\x.txt"},
    };
    for (const auto &c : cases) {
        QString program, args;
        splitCommandText(c.command, program, args);
        EXPECT_EQ(program, c.program) << qPrintable(c.command);
        EXPECT_EQ(args, c.args) << qPrintable(c.command);
    }
    EXPECT_EQ(commandArguments("-a \"two words\" \\tmp\\x \\nope\\y"),
              QStringList({"-a", "two words", "/tmp/x", "\\nope\\y"}));
    EXPECT_EQ(fillPlaceholders("-o %2 -i %1", "in.txt out.txt extra more"), "-o out.txt -i in.txt extra more");
    EXPECT_EQ(fillPlaceholders("%3", "a"), "a");
    EXPECT_EQ(fillPlaceholders("x %3", "a"), "x  a");
    EXPECT_EQ(fillPlaceholders("", "\"a b\" c"), "\"a b\" c");
}

class TrecordingDesktop : public TmacroDesktop
{
public:
    TpromptButton answer = PB_NONE;
    QList<TdialogRequest> dialogs;
    QStringList calls;
    QString clip = "clipped";

    TpromptButton dialog(const TdialogRequest &r) override
    {
        dialogs << r;
        return answer;
    }
    void notify(const QString &m, const QString &t, TnotifyIcon i, int s) override
    {
        calls << QString("notify %1|%2|%3|%4").arg(m, t).arg(int(i)).arg(s);
    }
    void play(const QString &n) override { calls << "play " + n; }
    QString clipboardText() override { return clip; }
    void setClipboardText(const QString &t) override { clip = t; }
    void focusMainWindow() override { calls << "focus"; }
};

TEST_F(ProgramMacros, DesktopMacrosAreSilentWithoutADesktop)
{
    EXPECT_EQ(run("{.dialog|Sure?|yesno.}{.notify|x.}{.play|beep.}{.clipboard.}{.clipboard|x.}{.focus.}"), "");
}

TEST_F(ProgramMacros, DialogButtonsIconsAndAnswers)
{
    auto *d = new TrecordingDesktop;
    setMacroDesktop(std::unique_ptr<TmacroDesktop>(d));
    const struct {
        const char *type;
        TpromptButton answer;
        const char *result;
        TpromptButtons buttons;
        TdialogIcon icon;
    } cases[] = {
        {"yesnocancel", PB_YES, "1", PB_YES | PB_NO | PB_CANCEL, DI_QUESTION},
        {"yesnocancel", PB_CANCEL, "cancel", PB_YES | PB_NO | PB_CANCEL, DI_QUESTION},
        {"yesnocancel", PB_NO, "", PB_YES | PB_NO | PB_CANCEL, DI_QUESTION},
        {"", PB_OK, "", PB_OK, DI_INFORMATION},
        {"okcancel warning", PB_OK, "1", PB_OK | PB_CANCEL, DI_WARNING},
        {"okcancel warning", PB_CANCEL, "", PB_OK | PB_CANCEL, DI_WARNING},
        {"YesNo error", PB_YES, "1", PB_YES | PB_NO, DI_ERROR},
        {"information", PB_OK, "", PB_OK, DI_INFORMATION},
        {"error", PB_OK, "", PB_OK, DI_ERROR},
        {"yesno other words", PB_NONE, "", PB_YES | PB_NO, DI_QUESTION},
    };
    for (const auto &c : cases) {
        d->answer = c.answer;
        d->dialogs.clear();
        EXPECT_EQ(run(QString("{.dialog|Sure?|%1|Title.}").arg(c.type)), c.result) << c.type;
        ASSERT_EQ(d->dialogs.size(), 1);
        EXPECT_EQ(d->dialogs[0].buttons, c.buttons) << c.type;
        EXPECT_EQ(d->dialogs[0].icon, c.icon) << c.type;
        EXPECT_EQ(d->dialogs[0].message, "Sure?");
        EXPECT_TRUE(d->dialogs[0].caption.endsWith(" -- Title"));
    }
    d->dialogs.clear();
    EXPECT_EQ(run("{.dialog|Done.}"), "");
    ASSERT_EQ(d->dialogs.size(), 1);
    EXPECT_FALSE(d->dialogs[0].caption.contains(" -- "));
    EXPECT_EQ(run("{.dialog| |yesno.}"), ""); // nothing to say: nothing shown
    EXPECT_EQ(d->dialogs.size(), 1);
}

TEST_F(ProgramMacros, NotifyPlayClipboardFocus)
{
    auto *d = new TrecordingDesktop;
    setMacroDesktop(std::unique_ptr<TmacroDesktop>(d));
    EXPECT_EQ(run("{.notify|Hello|type=WARNING|title=T|timeout=7.}{.notify|Plain|type=odd.}"), "");
    EXPECT_EQ(run("{.play|SystemAsterisk.}{.focus.}"), "");
    EXPECT_EQ(d->calls, QStringList({"notify Hello|T|2|7", "notify Plain||0|3", "play SystemAsterisk", "focus"}));
    EXPECT_EQ(run("{.clipboard.}"), "clipped");
    EXPECT_EQ(run("{.clipboard|new text.}{.clipboard.}"), "new text");
    EXPECT_EQ(run("{.set|#v|from var.}{.clipboard|ignored|var=#v.}{.clipboard.}"), " from var");
}

TEST_F(ProgramMacros, AddToLogWithColours)
{
    QStringList lines;
    setMacroLogWriter([&](const QString &t, ThttpConn *conn, std::optional<quint32> rgb) {
        lines << QString("%1|%2|%3").arg(t).arg(conn ? "conn" : "none").arg(rgb ? QString::number(*rgb, 16) : "-");
    });
    EXPECT_EQ(run("{.add to log|hello|red.}{.add to log|plain.}{.set|#m|from var.}{.add to log|x|var=#m|color=#0a0.}"),
              " ");
    EXPECT_EQ(lines, QStringList({"hello|none|ff0000", "plain|none|-", "from var|none|aa00"}));

    const struct {
        const char *text;
        std::optional<quint32> rgb;
    } colours[] = {
        {"#FF8000", 0xFF8000}, {"ff8000", 0xFF8000}, {"#abc", 0xAABBCC}, {"fff", 0xFFFFFF},
        {"clNavy", 0x000080},  {"SILVER", 0xC0C0C0}, {"clRed", 0xFF0000}, {"255", 0x225555},
        {"65280", 0x00FF00},   {"16711680", 0x0000FF}, {"$0000FF", 0xFF0000}, {"nocolour", std::nullopt},
        {"", std::nullopt},    {"#12345", std::nullopt}, {"99999999", std::nullopt},
    };
    for (const auto &c : colours)
        EXPECT_EQ(logColorFromText(c.text), c.rgb) << c.text;
}

TEST_F(ProgramMacros, ConfigurationMacros)
{
    const QString before = run("{.get ini|max-connections.}");
    EXPECT_EQ(run("{.set cfg|max-connections=7.}"), "1");
    EXPECT_EQ(run("{.get ini|MAX-connections.}"), "7");
    EXPECT_EQ(run("{.set ini|max-connections=9.}"), "");
    EXPECT_EQ(run("{.get ini|max-connections.}"), "9");
    EXPECT_EQ(run("{.get ini|no-such-key.}{.get ini|max-conn.}"), "");
    EXPECT_EQ(run("{.set cfg| .}"), "");
    cfg().setCfg("max-connections=" + before, true);
    EXPECT_EQ(run("{.get ini|max-connections.}"), before);
}

TEST_F(ProgramMacros, ServerHooks)
{
    TcfgHooks &h = cfg().hooks;
    const TcfgHooks saved = h;
    QStringList calls;
    h.startServer = [&] { calls << "start"; };
    h.stopServer = [&] { calls << "stop"; };
    EXPECT_EQ(run("{.stop server.}{.start server.}"), "");
    h = saved;
    EXPECT_EQ(calls, QStringList({"stop", "start"}));
}

} // namespace
