// The main menu table: its groups in order, what each mode offers, the
// shortcuts, the commands of windows not built yet, the template commands
// and the close request.
#include "app/program.h"
#include "app/serverSwitch.h"
#include "app/services.h"
#include "config/options.h"
#include "config/paths.h"
#include "scriptedPrompt.h"
#include "qtPrinters.h"
#include "tpl/mainTemplate.h"
#include "ui/closing.h"
#include "ui/mainMenu.h"
#include "ui/mainWindow.h"
#include "ui/optionsDialog.h"
#include "ui/templateCommands.h"
#include "util/files.h"
#include "vfs/vfs.h"

#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The captions a menu shows now (opened as the operator would).
QStringList shown(QMenu *menu)
{
    Q_EMIT menu->aboutToShow();
    QStringList out;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            out += a->text();
    return out;
}

QMenu *submenu(QMenu *menu, const QString &caption)
{
    Q_EMIT menu->aboutToShow();
    for (QAction *a : menu->actions())
        if (a->text() == caption)
            return a->menu();
    return nullptr;
}

QAction *action(QMenu *menu, const QString &caption)
{
    for (QAction *a : menu->actions())
        if (a->text() == caption)
            return a;
    return nullptr;
}

} // namespace

TEST(MainMenu, ExpertModeShowsEveryGroupInOrder)
{
    Tservices services;
    opts().easy = false;
    TmainWindow w;
    const QList<TmenuEntry> m = buildMainMenu(w, [] { return QList<TmenuEntry>{}; });
    QMenu menu;
    bindMenu(&menu, m, [&] { return w.expert(); });
    const QStringList expected{
        "Self Test", "Show bandwidth graph", "Other options", "HTML template", "Upload", "Start/Exit", "Log",
        "Virtual File System", "Limits", "Flash taskbutton", "Fingerprints", "Tray icons", "IP address",
        "Accept connections on", "Dynamic DNS updater", "URL encoding", "Debug", "Updates", "Donate!",
        "Load file system...", "Save file system...", "Clear file system", "Save options", "Help", "Web links",
        "Uninstall ZOF", "About...", "Switch ON", "Exit"};
    // The graph is hidden while the window is: "Show bandwidth graph" is offered.
    EXPECT_EQ(shown(&menu), expected);

    // Captions that follow the state.
    QMenu *limits = submenu(&menu, QStringLiteral("Limits"));
    ASSERT_TRUE(limits);
    const QStringList limitCaptions = shown(limits);
    EXPECT_EQ(limitCaptions.first(), QStringLiteral("Speed limit (disabled)"));
    EXPECT_TRUE(limitCaptions.contains(QStringLiteral("Max connections (disabled)")));
    // Submenus are filled when the menu above them opens.
    opts().speedLimit = 2.5;
    limits = submenu(&menu, QStringLiteral("Limits"));
    EXPECT_EQ(shown(limits).first(), QStringLiteral("Speed limit (2.5 kB/s)"));

    QMenu *other = submenu(&menu, QStringLiteral("Other options"));
    ASSERT_TRUE(other);
    EXPECT_EQ(shown(other).first(), QStringLiteral("Switch to Easy mode"));
    EXPECT_TRUE(shown(other).contains(QStringLiteral("User accounts...")));
}

TEST(MainMenu, EasyModeHidesExpertEntriesAndOffersAdding)
{
    Tservices services;
    opts().easy = true;
    TmainWindow w;
    QMenu menu;
    bindMenu(&menu, buildMainMenu(w), [&] { return w.expert(); });
    const QStringList top = shown(&menu);
    for (const char *hidden : {"HTML template", "Virtual File System", "Debug", "Save options", "Fingerprints",
                               "URL encoding", "Accept connections on", "Dynamic DNS updater", "Flash taskbutton"})
        EXPECT_FALSE(top.contains(QString::fromLatin1(hidden))) << hidden;
    EXPECT_TRUE(top.contains(QStringLiteral("Add files...")));
    EXPECT_TRUE(top.contains(QStringLiteral("Add folder from disk...")));
    // Without a log menu there is no "Log" group.
    EXPECT_FALSE(top.contains(QStringLiteral("Log")));

    QMenu *other = submenu(&menu, QStringLiteral("Other options"));
    ASSERT_TRUE(other);
    const QStringList o = shown(other);
    EXPECT_FALSE(o.contains(QStringLiteral("User accounts...")));
    EXPECT_TRUE(o.contains(QStringLiteral("Change port...")));
    EXPECT_TRUE(o.contains(QStringLiteral("Edit event scripts...")));

    // The mode entry switches, and the next opening follows.
    QAction *mode = action(other, QStringLiteral("Switch to Expert mode"));
    ASSERT_TRUE(mode);
    mode->trigger();
    EXPECT_FALSE(opts().easy);
    EXPECT_FALSE(shown(&menu).contains(QStringLiteral("Add files...")));
    EXPECT_TRUE(shown(&menu).contains(QStringLiteral("Debug")));
}

TEST(MainMenu, StoreFiltersBecomeDialogFilters)
{
    EXPECT_EQ(dialogFilterOf(QStringLiteral("VirtualFileSystem|*.vfs")), QStringLiteral("VirtualFileSystem (*.vfs)"));
    EXPECT_EQ(dialogFilterOf(QStringLiteral("Pictures|*.png;*.jpg|All|*")),
              QStringLiteral("Pictures (*.png *.jpg);;All (*)"));
}

TEST(MainMenu, ShortcutsAreOnTheirEntries)
{
    Tservices services;
    TmainWindow w;
    const QList<TmenuEntry> m = buildMainMenu(w);
    const struct
    {
        const char *caption;
        QKeySequence key;
    } keys[] = {
        {"Switch ON", QKeySequence(Qt::Key_F4)},
        {"Switch to expert mode", QKeySequence(Qt::Key_F5)},
        {"Edit...", QKeySequence(Qt::Key_F6)},
        {"Edit event scripts...", QKeySequence(Qt::ALT | Qt::Key_F6)},
        {"User accounts...", QKeySequence(Qt::Key_F7)},
        {"Load file system...", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"Save file system...", QKeySequence(Qt::CTRL | Qt::Key_S)},
    };
    for (const auto &k : keys) {
        const TmenuEntry *e = findMenuEntry(m, QString::fromLatin1(k.caption));
        ASSERT_TRUE(e) << k.caption;
        EXPECT_EQ(e->key, k.key) << k.caption;
    }
}

TEST(MainMenu, F4SwitchesTheServerWithTheMenuClosed)
{
    Tservices services;
    TscriptedPromptScope p;
    opts().port = QStringLiteral("0");
    TmainWindow w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F4);
    EXPECT_TRUE(serverListening());
    QMenu menu;
    bindMenu(&menu, w.mainMenuEntries(), [&] { return w.expert(); });
    EXPECT_TRUE(shown(&menu).contains(QStringLiteral("Switch OFF")));
    QTest::keyClick(&w, Qt::Key_F4);
    EXPECT_FALSE(serverListening());
    EXPECT_TRUE(p->messages.isEmpty());
}

TEST(MainMenu, DialogCommandsOpenTheirPage)
{
    Tservices services;
    TscriptedPromptScope p;
    opts().easy = false;
    opts().modalOptions = false;
    TmainWindow w;
    const QList<TmenuEntry> m = buildMainMenu(w);
    const QList<QPair<const char *, ToptionsPage>> pages = {
        {"User accounts...", OP_ACCOUNTS}, {"MIME types...", OP_MIME},          {"Bans...", OP_BANS},
        {"Icon masks...", OP_ICON_MASKS},  {"Tray message...", OP_TRAY_MESSAGE},
    };
    for (const auto &[caption, page] : pages) {
        const TmenuEntry *e = findMenuEntry(m, QString::fromLatin1(caption));
        ASSERT_TRUE(e && e->run) << caption;
        e->run();
        auto *dialog = w.findChild<ToptionsDialog *>();
        ASSERT_TRUE(dialog) << caption;
        EXPECT_TRUE(dialog->isVisible()) << caption;
        EXPECT_EQ(dialog->page(), page) << caption;
        dialog->close();
    }
    // The desktop's commands need a desktop, which unit tests have not.
    for (const char *caption : {"Edit event scripts...", "Uninstall ZOF"}) {
        const TmenuEntry *e = findMenuEntry(m, QString::fromLatin1(caption));
        ASSERT_TRUE(e && e->run) << caption;
        p->messages.clear();
        e->run();
        EXPECT_EQ(p->messages, QStringList{MSG_NOT_AVAILABLE_YET}) << caption;
    }
    // A real command says something else.
    p->messages.clear();
    findMenuEntry(m, QStringLiteral("About..."))->run();
    EXPECT_EQ(p->messages, QStringList{QStringLiteral("ZOF\rVersion 1.0\rBuild 400")});
}

TEST(MainMenu, ChoicesAndGuardedOptions)
{
    Tservices services;
    TscriptedPromptScope p;
    opts().easy = false;
    TmainWindow w;
    QMenu menu;
    bindMenu(&menu, buildMainMenu(w), [&] { return w.expert(); });

    // A choice among values of one option; the menu shows the current one.
    auto addingMenu = [&] {
        QMenu *vfs = submenu(&menu, QStringLiteral("Virtual File System"));
        return vfs ? submenu(vfs, QStringLiteral("Adding folder")) : nullptr;
    };
    opts().addFolderDefault = QStringLiteral("virtual");
    QMenu *adding = addingMenu();
    ASSERT_TRUE(adding);
    EXPECT_TRUE(action(adding, QStringLiteral("Default to virtual-folder"))->isChecked());
    EXPECT_FALSE(action(adding, QStringLiteral("Default to real-folder"))->isChecked());
    action(adding, QStringLiteral("Default to real-folder"))->trigger();
    EXPECT_EQ(opts().addFolderDefault, QStringLiteral("real"));
    adding = addingMenu();
    EXPECT_TRUE(action(adding, QStringLiteral("Default to real-folder"))->isChecked());
    EXPECT_FALSE(action(adding, QStringLiteral("Ask"))->isChecked());
    action(adding, QStringLiteral("Ask"))->trigger();
    EXPECT_EQ(opts().addFolderDefault, QString());

    // "Don't include port in URL": No leaves it off, Yes turns it on.
    QMenu *ip = submenu(&menu, QStringLiteral("IP address"));
    ASSERT_TRUE(ip);
    p->buttons = {PB_NO};
    action(ip, QStringLiteral("Don't include port in URL"))->trigger();
    EXPECT_FALSE(opts().dontIncludePortInUrl);
    EXPECT_EQ(p->questions.size(), 1);
    p->buttons = {PB_YES};
    ip = submenu(&menu, QStringLiteral("IP address"));
    action(ip, QStringLiteral("Don't include port in URL"))->trigger();
    EXPECT_TRUE(opts().dontIncludePortInUrl);
    ip = submenu(&menu, QStringLiteral("IP address"));
    EXPECT_TRUE(action(ip, QStringLiteral("Don't include port in URL"))->isChecked());
    // Turning it off asks nothing.
    action(ip, QStringLiteral("Don't include port in URL"))->trigger();
    EXPECT_FALSE(opts().dontIncludePortInUrl);
    EXPECT_EQ(p->questions.size(), 2);

    // Fingerprint entries follow "Enabled"; saving them warns.
    opts().enableFingerprints = false;
    QMenu *fp = submenu(&menu, QStringLiteral("Fingerprints"));
    ASSERT_TRUE(fp);
    EXPECT_FALSE(action(fp, QStringLiteral("Save new calculated fingerprints"))->isEnabled());
    EXPECT_FALSE(action(fp, QStringLiteral("Create fingerprint on addition: disabled"))->isEnabled());
    opts().enableFingerprints = true;
    fp = submenu(&menu, QStringLiteral("Fingerprints"));
    QAction *save = action(fp, QStringLiteral("Save new calculated fingerprints"));
    ASSERT_TRUE(save->isEnabled());
    save->trigger();
    EXPECT_TRUE(opts().saveFingerprints);
    ASSERT_EQ(p->messages.size(), 1);
    EXPECT_TRUE(p->messages[0].startsWith(QStringLiteral("This option creates an .md5 file")));
}

TEST(TemplateCommands, EditWritesTheTemplateAndPicksTheEditor)
{
    Tservices services;
    TscriptedPromptScope p;
    QTemporaryDir dir;
    const QString savedCfg = cfgPath();
    setCfgPath(dir.path());
    setDefaultTemplateText(QStringLiteral("[]\r\nbuilt-in %list%\r\n[api level]\r\n2\r\n"));
    opts().tplFile.clear();

    const QString fn = prepareTemplateFile();
    EXPECT_EQ(fn, dir.path() + QStringLiteral("/zof.tpl"));
    EXPECT_EQ(opts().tplFile, fn);
    EXPECT_TRUE(loadTextFile(fn).contains(QStringLiteral("built-in %list%")));
    // An existing file is used as it is.
    ASSERT_TRUE(saveTextFile(fn, QStringLiteral("mine")));
    EXPECT_EQ(prepareTemplateFile(), fn);
    EXPECT_EQ(loadTextFile(fn), QStringLiteral("mine"));

    QMap<QString, QString> env;
    auto get = [&](const char *n) { return env.value(QString::fromLatin1(n)); };
    EXPECT_EQ(templateEditorCommand(fn, get), (QStringList{"xdg-open", fn}));
    env["EDITOR"] = QStringLiteral("nano -w");
    EXPECT_EQ(templateEditorCommand(fn, get), (QStringList{"nano", "-w", fn}));
    env["VISUAL"] = QStringLiteral("gvim");
    EXPECT_EQ(templateEditorCommand(fn, get), (QStringList{"gvim", fn}));
    // A configured editor that exists comes first; a missing one is skipped.
    opts().tplEditor = dir.path() + QStringLiteral("/none");
    EXPECT_EQ(templateEditorCommand(fn, get).first(), QStringLiteral("gvim"));
    opts().tplEditor = fn; // any existing file
    EXPECT_EQ(templateEditorCommand(fn, get), (QStringList{fn, fn}));

    // Restore default asks first.
    p->buttons = {PB_NO};
    EXPECT_FALSE(restoreDefaultTemplate());
    EXPECT_EQ(opts().tplFile, fn);
    p->buttons = {PB_YES};
    EXPECT_TRUE(restoreDefaultTemplate());
    EXPECT_EQ(opts().tplFile, QString());
    EXPECT_EQ(p->questions, (QStringList{"Continue?", "Continue?"}));
    setCfgPath(savedCfg);
}

TEST(TemplateCommands, TurningMacrosOffAsksWhenTheTemplateUsesThem)
{
    Tservices services;
    TscriptedPromptScope p;
    setDefaultTemplateText(QStringLiteral("[]\r\nplain\r\n[api level]\r\n2\r\n"));
    opts().enableMacros = true;
    switchMacros();
    EXPECT_FALSE(opts().enableMacros);
    EXPECT_TRUE(p->questions.isEmpty());
    switchMacros();
    EXPECT_TRUE(opts().enableMacros);

    setDefaultTemplateText(QStringLiteral("[]\r\n{.if|x|y.}\r\n[api level]\r\n2\r\n"));
    p->buttons = {PB_YES}; // cancel the action
    switchMacros();
    EXPECT_TRUE(opts().enableMacros);
    EXPECT_EQ(p->questions, QStringList{"The current template is using macros.\rDo you want to cancel this action?"});
    p->buttons = {PB_NO};
    switchMacros();
    EXPECT_FALSE(opts().enableMacros);
}

TEST(Closing, QuitQuestionTreeAndDeferral)
{
    Tservices services;
    TscriptedPromptScope p;
    Tprogram program({QStringLiteral("zof"), QStringLiteral("--headless")});
    opts().confirmExit = true;
    opts().autoSaveVfs = false;

    p->buttons = {PB_NO};
    EXPECT_EQ(requestClose(program), CO_STAY);
    EXPECT_EQ(p->questions, QStringList{"Quit?"});
    EXPECT_FALSE(program.quitRequested());

    // A changed tree: Cancel on the save question keeps the program running.
    Tvfs::instance().setModified(true);
    p->questions.clear();
    p->buttons = {PB_YES, PB_CANCEL};
    EXPECT_EQ(requestClose(program), CO_STAY);
    ASSERT_EQ(p->questions.size(), 2);
    EXPECT_TRUE(Tvfs::instance().isModified());

    // "No" to saving: leaving goes on; start-up is not finished, so the
    // close waits for the heartbeat.
    p->questions.clear();
    p->buttons = {PB_YES, PB_NO};
    EXPECT_EQ(requestClose(program), CO_DEFERRED);
    EXPECT_TRUE(program.quitRequested());
    EXPECT_FALSE(Tvfs::instance().isModified()); // the shutdown does not ask again

    // Once a quit is requested, "Quit?" is not asked again.
    p->questions.clear();
    EXPECT_EQ(requestClose(program), CO_DEFERRED);
    EXPECT_TRUE(p->questions.isEmpty());
}

TEST(Closing, SessionEndAsksNothing)
{
    Tservices services;
    TscriptedPromptScope p;
    Tprogram program({QStringLiteral("zof"), QStringLiteral("--headless")});
    opts().confirmExit = true;
    EXPECT_EQ(requestClose(program, true), CO_DEFERRED);
    EXPECT_TRUE(p->questions.isEmpty());
}

TEST(MainMenu, F10AndAltAlonePopItUp)
{
    Tservices services;
    TmainWindow w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.mainMenu()->isVisible(); }, 2000));
    w.mainMenu()->close();

    // Alt with another key is a shortcut, not the menu.
    QTest::keyPress(&w, Qt::Key_Alt, Qt::AltModifier);
    QTest::keyClick(&w, Qt::Key_X, Qt::AltModifier);
    QTest::keyRelease(&w, Qt::Key_Alt);
    QTest::qWait(50);
    EXPECT_FALSE(w.mainMenu()->isVisible());
    // Alt alone.
    QTest::keyPress(&w, Qt::Key_Alt, Qt::AltModifier);
    QTest::keyRelease(&w, Qt::Key_Alt);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.mainMenu()->isVisible(); }, 2000));
    w.mainMenu()->close();
}
