// The window's desktop hooks together: a second start's hand-over brings a
// window hidden in the tray back to the front; the first start asks about
// the shell entry and a closed question ends the program; the menu entries
// switch the entries on disk.
#include "app/desktopCommands.h"
#include "app/program.h"
#include "app/services.h"
#include "config/options.h"
#include "log/log.h"
#include "ui/desktopIntegration.h"
#include "ui/mainWindow.h"
#include "ui/menuTable.h"
#include "ui/trayIcons.h"
#include "util/prompt.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class TchoosingPrompt : public Tprompt
{
public:
    void message(const QString &text, TpromptKind) override { messages << text; }
    TpromptButton question(const QString &text, TpromptButtons, TpromptButton) override
    {
        questions << text;
        return PB_NO;
    }
    int choose(const QString &, const QStringList &lines, const QStringList &, int) override
    {
        questions << lines.join(u' ');
        return choice;
    }
    int choice = -1;
    QStringList messages, questions;
};

struct Tfixture
{
    Tfixture()
    {
        setLogToStderr(false);
        paths = {dir.filePath(QStringLiteral("apps/zof.desktop")), dir.filePath(QStringLiteral("autostart/zof.desktop"))};
        ask = new TchoosingPrompt;
        previous = setPrompt(std::unique_ptr<Tprompt>(ask));
    }
    ~Tfixture()
    {
        setPrompt(std::move(previous));
        setLogToStderr(true);
    }
    QTemporaryDir dir;
    Tservices services;
    Tprogram program{{QStringLiteral("zof"), QStringLiteral("--headless")}};
    TdesktopEntryPaths paths;
    TchoosingPrompt *ask;
    std::unique_ptr<Tprompt> previous;
};

} // namespace

TEST(DesktopIntegration, HandOverBringsTheWindowBackFromTheTray)
{
    Tfixture f;
    TmainWindow w;
    w.show();
    auto *hooks = new TdesktopIntegration(f.program, w, true, f.paths);
    hooks->tray().minimizeToTray();
    ASSERT_FALSE(w.isVisible());
    Q_EMIT f.program.handedOver();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(hooks->tray().hiddenInTray());
    // Minimized without a tray: restored the same way.
    w.showMinimized();
    Q_EMIT f.program.handedOver();
    EXPECT_FALSE(w.isMinimized());
}

TEST(DesktopIntegration, FirstStartAsksAndAClosedQuestionEndsTheProgram)
{
    Tfixture f;
    TmainWindow w;
    new TdesktopIntegration(f.program, w, false, f.paths);
    ASSERT_FALSE(f.program.storedOptionsApplied());
    f.ask->choice = -1;
    Q_EMIT f.program.windowDue();
    ASSERT_EQ(f.ask->questions, QStringList{"Do you want ZOF in your shell context menu?"});
    EXPECT_TRUE(f.program.quitRequested());
    EXPECT_FALSE(QFileInfo::exists(f.paths.shellEntry));
}

TEST(DesktopIntegration, FirstStartYesWritesTheEntry)
{
    Tfixture f;
    TmainWindow w;
    new TdesktopIntegration(f.program, w, false, f.paths);
    f.ask->choice = 0;
    Q_EMIT f.program.windowDue();
    EXPECT_FALSE(f.program.quitRequested());
    EXPECT_EQ(entryProgram(f.paths.shellEntry), programFilePath());
}

TEST(DesktopIntegration, MenuEntriesSwitchTheEntriesOnDisk)
{
    Tfixture f;
    TmainWindow w;
    auto *hooks = new TdesktopIntegration(f.program, w, true, f.paths);
    const QList<TmenuEntry> entries = hooks->menuEntries();
    const TmenuEntry *shell = findMenuEntry(entries, QStringLiteral("Integrate in shell context menu"));
    ASSERT_TRUE(shell);
    EXPECT_EQ(menuEntryCaption(*shell), QStringLiteral("Integrate in shell context menu"));
    triggerMenuEntry(*shell);
    EXPECT_TRUE(QFileInfo::exists(f.paths.shellEntry));
    EXPECT_EQ(menuEntryCaption(*shell), QStringLiteral("Remove from shell context menu"));

    const TmenuEntry *session = findMenuEntry(entries, QStringLiteral("Run ZOF when the desktop session starts"));
    ASSERT_TRUE(session);
    EXPECT_FALSE(menuEntryChecked(*session));
    triggerMenuEntry(*session);
    EXPECT_TRUE(menuEntryChecked(*session));
    EXPECT_TRUE(QFileInfo::exists(f.paths.autostartEntry));

    // Uninstall from the menu without the single-instance channel: refused.
    const TmenuEntry *uninstall = findMenuEntry(entries, QStringLiteral("Uninstall ZOF"));
    ASSERT_TRUE(uninstall);
    f.ask->messages.clear(); // the shell entry's confirmation
    triggerMenuEntry(*uninstall);
    ASSERT_EQ(f.ask->messages.size(), 1);
    EXPECT_TRUE(f.ask->messages[0].startsWith(QStringLiteral("Sorry, this feature only works")));
    EXPECT_TRUE(f.ask->questions.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(f.paths.shellEntry));
    EXPECT_FALSE(f.program.quitRequested());

    // Hiding into the tray is offered only with a notification area.
    const TmenuEntry *toTray = findMenuEntry(entries, QStringLiteral("Minimize to tray"));
    ASSERT_TRUE(toTray);
    EXPECT_TRUE(menuEntryOffered(*toTray, true));
    TmainWindow plain;
    auto *noTray = new TdesktopIntegration(f.program, plain, false, f.paths);
    const QList<TmenuEntry> plainEntries = noTray->menuEntries();
    EXPECT_FALSE(menuEntryOffered(*findMenuEntry(plainEntries, QStringLiteral("Minimize to tray")), true));
}
