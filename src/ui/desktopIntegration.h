#pragma once
// The window's hooks into the desktop: the tray icons, the language file,
// standby prevention, the first start's shell question, a second start
// bringing the window forward, and the menu entries of these commands.
#include "app/desktopEntries.h"
#include "ui/menuTable.h"

#include <QObject>

#include <memory>

class Tprogram;
class TmainWindow;
class TtrayIcons;
class TwindowTranslation;
class TstandbyInhibitor;

class TdesktopIntegration : public QObject
{
    Q_OBJECT
public:
    // `trayAvailable`: the desktop has a notification area.
    TdesktopIntegration(Tprogram &program, TmainWindow &window, bool trayAvailable,
                        TdesktopEntryPaths paths = TdesktopEntryPaths::standard());
    ~TdesktopIntegration() override;

    TtrayIcons &tray() { return *icons; }
    TwindowTranslation *translation() const { return language.get(); }
    const TdesktopEntryPaths &entryPaths() const { return paths; }

    // The main menu's entries for these commands: the shell entry, starting
    // with the session, uninstalling, hiding into the tray, the tray icon,
    // standby prevention, editing the event scripts. uimenu places them.
    QList<TmenuEntry> menuEntries();
    // Single commands, for menus that place them one by one.
    void switchShell();
    void switchStartWithSession();
    void uninstall();
    void editEventScripts();

    // Every second: the main icon, the translation of live captions, standby.
    void second();

private:
    void firstStartQuestion();

    Tprogram &program;
    TmainWindow &window;
    TdesktopEntryPaths paths;
    TtrayIcons *icons;
    std::unique_ptr<TwindowTranslation> language;
    std::unique_ptr<TstandbyInhibitor> standby;
};
