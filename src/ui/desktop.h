#pragma once
// The desktop side of the program: the main window, shown when start-up is
// done, and the dialogs that take the place of the headless prompt. Exists
// only in a program started with a display and without "--headless".
#include <QObject>

#include <memory>

class Tprogram;
class TmainWindow;
class Tprompt;
class TmacroDesktop;
class TdesktopIntegration;

class Tdesktop : public QObject
{
    Q_OBJECT
public:
    explicit Tdesktop(Tprogram &program, QObject *parent = nullptr);
    ~Tdesktop() override;

    TmainWindow &window() { return *main; }
    // The tray, the language file, the desktop entries.
    TdesktopIntegration &integration() { return *desktopHooks; }

private:
    void show();
    void tick();

    Tprogram &program;
    std::unique_ptr<TmainWindow> main;
    std::unique_ptr<Tprompt> previousPrompt;
    std::unique_ptr<TmacroDesktop> previousMacroDesktop;
    TdesktopIntegration *desktopHooks = nullptr; // owned by the window
};
