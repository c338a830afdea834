#include "ui/desktop.h"

#include "app/program.h"
#include "config/options.h"
#include "ui/closing.h"
#include "ui/connectionsView.h"
#include "ui/desktopIntegration.h"
#include "ui/graphView.h"
#include "ui/macroDesktop.h"
#include "ui/mainMenu.h"
#include "ui/mainWindow.h"
#include "ui/widgetPrompt.h"
#include "ui/windowSnapshot.h"

#include <QGuiApplication>

#include <QSystemTrayIcon>

Tdesktop::Tdesktop(Tprogram &programIn, QObject *parent)
    : QObject(parent), program(programIn), main(std::make_unique<TmainWindow>())
{
    previousPrompt = setPrompt(std::make_unique<TwidgetPrompt>(main.get()));
    installTreeFileDialogs(main.get());
    // The desktop session ends: no questions, the tree kept in the emergency copy.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { requestClose(program, true); });
    connect(&program, &Tprogram::windowDue, this, &Tdesktop::show);
    program.schedule().add(Theartbeat::EVERY_SECOND, QStringLiteral("window"), [this] { tick(); });
    program.schedule().add(Theartbeat::EVERY_GRAPH_SAMPLE, QStringLiteral("graph view"), [this] {
        if (!this->program.closing() && main->graph()->isVisible())
            main->graph()->update();
    });
    // After the window's own second, so live captions are translated.
    desktopHooks = new TdesktopIntegration(program, *main, QSystemTrayIcon::isSystemTrayAvailable());
    desktopMenuSource() = [this] { return desktopHooks->menuEntries(); };
    // The macros' boxes, balloons and clipboard.
    previousMacroDesktop = setMacroDesktop(std::make_unique<TwindowMacroDesktop>(*main, desktopHooks->tray()));
}

Tdesktop::~Tdesktop()
{
    desktopMenuSource() = nullptr;
    setMacroDesktop(std::move(previousMacroDesktop));
    setPrompt(std::move(previousPrompt));
}

void Tdesktop::show()
{
    main->refreshCaptions();
    main->refreshUrl();
    if (opts().startMinimized)
        main->showMinimized();
    else
        main->show();
}

void Tdesktop::tick()
{
    if (program.closing())
        return;
    main->refreshCaptions();
    main->connections()->refresh();
    // A picture and the text of the window for checks from outside.
    static const QString snapshot = qEnvironmentVariable("ZOF_SCREENSHOT");
    if (!snapshot.isEmpty() && main->isVisible())
        writeWindowSnapshot(*main, snapshot);
}
