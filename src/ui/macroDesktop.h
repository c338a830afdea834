#pragma once
// What the macros ask of the desktop ("dialog", "notify", "play", the
// clipboard, the main window) done by the window: message boxes over it and
// balloons beside its tray icon.
#include "serve/macrosProgram.h"

class TmainWindow;
class TtrayIcons;

class TwindowMacroDesktop : public TmacroDesktop
{
public:
    TwindowMacroDesktop(TmainWindow &window, TtrayIcons &tray);

    TpromptButton dialog(const TdialogRequest &r) override;
    void notify(const QString &message, const QString &title, TnotifyIcon icon, int timeoutSeconds) override;
    void play(const QString &soundName) override;
    QString clipboardText() override;
    void setClipboardText(const QString &text) override;
    void focusMainWindow() override;

private:
    TmainWindow &window;
    TtrayIcons &tray;
};
