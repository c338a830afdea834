// The desktop entries: written so that they run this program (whatever its
// path holds), accepted by desktop-file-validate, switched and followed when
// the program moves; the first start's question; the uninstall list, which
// names and removes only the program's own files; the editor's command;
// standby prevention over a fake desktop service.
#include "app/desktopCommands.h"
#include "app/desktopEntries.h"
#include "app/program.h"
#include "app/services.h"
#include "app/textEditor.h"
#include "config/config.h"
#include "config/options.h"
#include "log/log.h"
#include "ui/standbyInhibitor.h"
#include "util/prompt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TdesktopEntryPaths pathsIn(const QTemporaryDir &dir)
{
    return {dir.filePath(QStringLiteral("data/applications/zof.desktop")),
            dir.filePath(QStringLiteral("config/autostart/zof.desktop"))};
}

QString readText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void writeText(const QString &path, const QString &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
}

// Questions answered from a script; what was said is kept.
class TdesktopScriptedPrompt : public Tprompt
{
public:
    void message(const QString &text, TpromptKind kind) override { messages << text + (kind == PK_ERROR ? "!" : ""); }
    TpromptButton question(const QString &text, TpromptButtons, TpromptButton) override
    {
        questions << text;
        return answer;
    }
    int choose(const QString &title, const QStringList &lines, const QStringList &buttons, int) override
    {
        questions << title + u':' + lines.join(u' ') + u':' + buttons.join(u'/');
        return choice;
    }
    TpromptButton answer = PB_NO;
    int choice = -1;
    QStringList messages, questions;
};

// desktop-file-validate's complaints about `file`, or nothing when it
// accepts it; none when the tool is missing.
std::optional<QString> validatorComplaints(const QString &file)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty())
        return std::nullopt;
    QProcess p;
    p.start(tool, {file});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed()
           + (p.exitCode() != 0 ? QStringLiteral(" (exit %1)").arg(p.exitCode()) : QString());
}

} // namespace

TEST(DesktopEntries, RunThisProgramWhateverItsPathHolds)
{
    QTemporaryDir dir;
    const TdesktopEntryPaths p = pathsIn(dir);
    const QString odd = QStringLiteral("/opt/my apps/zof \"new\" $HOME `x` 100%/back\\slash/zof");
    ASSERT_TRUE(integrateShell(p, odd));
    EXPECT_TRUE(isShellIntegrated(p));
    EXPECT_EQ(entryProgram(p.shellEntry), odd);
    const QString text = readText(p.shellEntry);
    EXPECT_TRUE(text.contains(QStringLiteral("\nMimeType=inode/directory;\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("[Desktop Action OpenWithZof]\nName=Open with ZOF\n")));
    // The Exec value escapes for both levels; the percent sign is doubled.
    EXPECT_TRUE(text.contains(QStringLiteral("100%%"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\\\\\"new\\\\\""))) << text.toStdString();

    removeShellIntegration(p);
    EXPECT_FALSE(isShellIntegrated(p));
    EXPECT_FALSE(QFileInfo::exists(p.shellEntry));
    // A file without an Exec line in its main group is not an integration.
    writeText(p.shellEntry, QStringLiteral("[Desktop Entry]\nName=x\n[Desktop Action A]\nExec=/bin/true\n"));
    EXPECT_FALSE(isShellIntegrated(p));
}

TEST(DesktopEntries, AcceptedByTheDesktopValidator)
{
    QTemporaryDir dir;
    const TdesktopEntryPaths p = pathsIn(dir);
    const QString program = QStringLiteral("/usr/local/bin/zof server");
    ASSERT_TRUE(integrateShell(p, program));
    ASSERT_TRUE(toggleStartWithSession(p, program));
    for (const QString &file : {p.shellEntry, p.autostartEntry}) {
        const std::optional<QString> complaints = validatorComplaints(file);
        if (!complaints)
            GTEST_SKIP() << "desktop-file-validate is not installed (scripts/setup.sh installs it)";
        EXPECT_EQ(*complaints, QString()) << file.toStdString();
    }
}

TEST(DesktopEntries, StartWithSessionSwitchAndAMovedProgram)
{
    QTemporaryDir dir;
    const TdesktopEntryPaths p = pathsIn(dir);
    const QString me = dir.filePath(QStringLiteral("bin/zof"));
    writeText(me, QStringLiteral("#!/bin/sh\n"));
    EXPECT_FALSE(startsWithSession(p, me));
    ASSERT_TRUE(toggleStartWithSession(p, me));
    EXPECT_TRUE(startsWithSession(p, me));
    ASSERT_TRUE(toggleStartWithSession(p, me));
    EXPECT_FALSE(startsWithSession(p, me));
    EXPECT_FALSE(QFileInfo::exists(p.autostartEntry));

    // Entries of an older place of the program: not "on" for this one; the
    // start-up rewrites them, and leaves alone what is current or missing.
    writeText(p.autostartEntry, autostartEntryText(QStringLiteral("/old/place/zof")));
    EXPECT_FALSE(startsWithSession(p, me));
    EXPECT_EQ(followMovedProgram(p, me), QStringList{p.autostartEntry});
    EXPECT_TRUE(startsWithSession(p, me));
    EXPECT_FALSE(QFileInfo::exists(p.shellEntry));
    EXPECT_TRUE(followMovedProgram(p, me).isEmpty());
    writeText(p.shellEntry, shellEntryText(QStringLiteral("/old/place/zof")));
    EXPECT_EQ(followMovedProgram(p, me), QStringList{p.shellEntry});
    EXPECT_EQ(entryProgram(p.shellEntry), me);

    // Switching on over a stale entry writes this program's.
    writeText(p.autostartEntry, autostartEntryText(QStringLiteral("/old/place/zof")));
    ASSERT_TRUE(toggleStartWithSession(p, me));
    EXPECT_EQ(entryProgram(p.autostartEntry), me);
}

TEST(DesktopEntries, FirstStartQuestionAndTheMenuSwitch)
{
    QTemporaryDir dir;
    const TdesktopEntryPaths p = pathsIn(dir);
    TdesktopScriptedPrompt ask;
    ask.choice = 1; // No
    EXPECT_TRUE(askShellIntegrationOnFirstStart(p, QStringLiteral("/bin/zof"), ask));
    ASSERT_EQ(ask.questions.size(), 1);
    EXPECT_EQ(ask.questions[0], QStringLiteral("Option...:Do you want ZOF in your shell context menu?:&Yes/&No"));
    EXPECT_FALSE(isShellIntegrated(p));
    ask.choice = -1; // closed: the program ends
    EXPECT_FALSE(askShellIntegrationOnFirstStart(p, QStringLiteral("/bin/zof"), ask));
    ask.choice = 0;
    EXPECT_TRUE(askShellIntegrationOnFirstStart(p, QStringLiteral("/bin/zof"), ask));
    EXPECT_TRUE(isShellIntegrated(p));
    // Integrated: nothing asked any more.
    ask.questions.clear();
    EXPECT_TRUE(askShellIntegrationOnFirstStart(p, QStringLiteral("/bin/zof"), ask));
    EXPECT_TRUE(ask.questions.isEmpty());

    EXPECT_EQ(shellMenuCaption(p), QStringLiteral("Remove from shell context menu"));
    switchShellIntegration(p, QStringLiteral("/bin/zof"), ask);
    EXPECT_FALSE(isShellIntegrated(p));
    EXPECT_EQ(shellMenuCaption(p), QStringLiteral("Integrate in shell context menu"));
    switchShellIntegration(p, QStringLiteral("/bin/zof"), ask);
    EXPECT_TRUE(isShellIntegrated(p));
    ASSERT_FALSE(ask.messages.isEmpty());
    EXPECT_TRUE(ask.messages.last().contains(QStringLiteral("Open with ZOF")));

    // A folder that cannot be written: the error, and still not integrated.
    const TdesktopEntryPaths blocked{dir.filePath(QStringLiteral("file/zof.desktop")), p.autostartEntry};
    writeText(dir.filePath(QStringLiteral("file")), QStringLiteral("a file where a folder should be"));
    switchShellIntegration(blocked, QStringLiteral("/bin/zof"), ask);
    EXPECT_TRUE(ask.messages.last().endsWith(QStringLiteral("You may lack necessary rights.!")))
        << ask.messages.last().toStdString();
    EXPECT_FALSE(isShellIntegrated(blocked));
}

TEST(DesktopUninstall, ListsAndRemovesOnlyTheProgramsOwnFiles)
{
    setLogToStderr(false);
    Tservices services;
    QTemporaryDir dir;
    const TdesktopEntryPaths p = pathsIn(dir);
    const TcfgPlaces saved = cfg().places;
    TcfgPlaces &pl = cfg().places;
    pl.iniFile = dir.filePath(QStringLiteral("cfg/zof.ini"));
    pl.userStore = dir.filePath(QStringLiteral("store/brantel/ZOF/zof.cfg"));
    pl.machineStore = dir.filePath(QStringLiteral("etc/zof.cfg"));
    pl.updateCheckTmp = dir.filePath(QStringLiteral("tmp/ZOF last update check.tmp"));
    ASSERT_TRUE(integrateShell(p, QStringLiteral("/bin/zof")));
    writeText(pl.iniFile, QStringLiteral("port=80\n"));
    writeText(pl.userStore, QStringLiteral("port=81\n"));
    // Neighbours that are not ours.
    const QString otherApp = dir.filePath(QStringLiteral("data/applications/other.desktop"));
    const QString otherCfg = dir.filePath(QStringLiteral("cfg/notes.txt"));
    writeText(otherApp, QStringLiteral("[Desktop Entry]\n"));
    writeText(otherCfg, QStringLiteral("keep me"));

    const QStringList list = uninstallList(p, pl);
    EXPECT_EQ(list, (QStringList{p.shellEntry, pl.iniFile, pl.userStore}));
    const QString question = uninstallQuestion(list);
    EXPECT_TRUE(question.startsWith(QStringLiteral("Delete ZOF and all settings?\r\r")));
    for (const QString &f : list)
        EXPECT_TRUE(question.contains(f));

    // Without the single-instance channel: refused, nothing touched.
    Tprogram program({QStringLiteral("zof"), QStringLiteral("--headless")});
    TdesktopScriptedPrompt ask;
    EXPECT_FALSE(uninstallProgram(program, p, ask, true));
    ASSERT_EQ(ask.messages.size(), 1);
    EXPECT_EQ(ask.messages[0], uninstallRefusal + u'!');
    EXPECT_TRUE(ask.questions.isEmpty());
    EXPECT_EQ(uninstallList(p, pl), list);

    opts().autoSaveOptions = true;
    uninstallFiles(p, cfg());
    EXPECT_TRUE(uninstallList(p, pl).isEmpty());
    EXPECT_FALSE(opts().autoSaveOptions);
    EXPECT_TRUE(QFileInfo::exists(otherApp));
    EXPECT_EQ(readText(otherCfg), QStringLiteral("keep me"));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("cfg"))));
    cfg().places = saved;
    setLogToStderr(true);
}

TEST(DesktopEditor, CommandAndTheTextsItOpens)
{
    QTemporaryDir dir;
    QProcessEnvironment env;
    EXPECT_EQ(editorCommand(QString(), env), QStringList{"xdg-open"});
    env.insert(QStringLiteral("EDITOR"), QStringLiteral("nano"));
    EXPECT_EQ(editorCommand(QString(), env), QStringList{"nano"});
    env.insert(QStringLiteral("VISUAL"), QStringLiteral("\"my editor\" --wait"));
    EXPECT_EQ(editorCommand(QString(), env), (QStringList{"my editor", "--wait"}));
    // The options' editor when that file exists; ignored when it does not.
    const QString tool = dir.filePath(QStringLiteral("edit"));
    writeText(tool, QStringLiteral("#!/bin/sh\n"));
    EXPECT_EQ(editorCommand(tool, env), QStringList{tool});
    EXPECT_EQ(editorCommand(dir.filePath(QStringLiteral("missing")), env), (QStringList{"my editor", "--wait"}));

    Tservices services;
    opts().tplEditor = tool;
    QString started;
    QStringList startedArgs;
    const TdetachedStarter real = detachedStarter();
    detachedStarter() = [&](const QString &program, const QStringList &args) {
        started = program;
        startedArgs = args;
        return true;
    };
    EXPECT_EQ(openTextInEditor(QStringLiteral("ünïcode text")), QString());
    EXPECT_EQ(started, tool);
    ASSERT_EQ(startedArgs.size(), 1);
    EXPECT_TRUE(startedArgs[0].endsWith(QStringLiteral(".txt")));
    EXPECT_EQ(readText(startedArgs[0]), QStringLiteral("ünïcode text"));
    QFile::remove(startedArgs[0]);
    detachedStarter() = [](const QString &, const QStringList &) { return false; };
    EXPECT_FALSE(openTextInEditor(QStringLiteral("x")).isEmpty());
    detachedStarter() = real;

    // The events file: made once with its first line, then left as edited.
    const QString events = eventsFileForEditing(dir.path());
    ASSERT_EQ(events, dir.filePath(QStringLiteral("zof.events")));
    EXPECT_TRUE(readText(events).startsWith(u'#'));
    writeText(events, QStringLiteral("[start]\nhello\n"));
    EXPECT_EQ(eventsFileForEditing(dir.path() + u'/'), events);
    EXPECT_EQ(readText(events), QStringLiteral("[start]\nhello\n"));
}

TEST(DesktopStandby, InhibitedWhileBusyAndReleasedAfterAQuietMinute)
{
    QList<QString> calls;
    TstandbyInhibitor::Tbus bus;
    bus.inhibit = [&](const QString &app, const QString &) {
        calls << QStringLiteral("inhibit ") + app;
        return quint32(42);
    };
    bus.release = [&](quint32 cookie) { calls << QStringLiteral("release %1").arg(cookie); };
    {
        TstandbyInhibitor s(bus);
        s.tick(true, -1, 100); // no activity yet
        EXPECT_FALSE(s.inhibiting());
        s.tick(true, 101, 101);
        EXPECT_TRUE(s.inhibiting());
        s.tick(true, 102, 102);
        s.tick(true, 102, 150);
        EXPECT_EQ(calls, QList<QString>{"inhibit ZOF"});
        s.tick(true, 102, 162); // a quiet minute
        EXPECT_FALSE(s.inhibiting());
        EXPECT_EQ(calls.last(), QStringLiteral("release 42"));
        s.tick(false, 170, 170); // option off: not asked
        EXPECT_FALSE(s.inhibiting());
        s.tick(true, 171, 171);
        EXPECT_TRUE(s.inhibiting());
        s.tick(false, 172, 172); // option turned off: released at once
        EXPECT_FALSE(s.inhibiting());
        s.tick(true, 173, 173);
        EXPECT_TRUE(s.inhibiting());
    }
    // Destroyed while inhibiting: released.
    EXPECT_EQ(calls.last(), QStringLiteral("release 42"));
    EXPECT_EQ(calls.count(QStringLiteral("inhibit ZOF")), 3);

    // A desktop without the service: asked once per quiet minute, no more.
    int asked = 0;
    TstandbyInhibitor::Tbus refusing;
    refusing.inhibit = [&](const QString &, const QString &) {
        ++asked;
        return quint32(0);
    };
    setLogToStderr(false);
    TstandbyInhibitor none(refusing);
    for (int t = 0; t < 30; ++t)
        none.tick(true, t, t);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(none.inhibiting());
    none.tick(true, 61, 61);
    EXPECT_EQ(asked, 2);
    setLogToStderr(true);
}
