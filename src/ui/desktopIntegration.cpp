#include "ui/desktopIntegration.h"

#include "app/desktopCommands.h"
#include "app/program.h"
#include "app/textEditor.h"
#include "config/options.h"
#include "config/paths.h"
#include "serve/serve.h"
#include "ui/mainWindow.h"
#include "ui/standbyInhibitor.h"
#include "ui/translation.h"
#include "ui/trayIcons.h"
#include "util/dateTime.h"
#include "util/prompt.h"

#include <QCoreApplication>

TdesktopIntegration::TdesktopIntegration(Tprogram &programIn, TmainWindow &w, bool trayAvailable,
                                         TdesktopEntryPaths pathsIn)
    : QObject(&w), program(programIn), window(w), paths(std::move(pathsIn)),
      icons(new TtrayIcons(w, trayAvailable)),
      language(installLanguageFile(QCoreApplication::applicationDirPath())),
      standby(std::make_unique<TstandbyInhibitor>())
{
    connect(&program, &Tprogram::handedOver, this, [this] { icons->bringToFront(); });
    connect(&program, &Tprogram::windowDue, this, &TdesktopIntegration::firstStartQuestion);
    program.schedule().add(Theartbeat::EVERY_SECOND, QStringLiteral("desktop integration"), [this] { second(); });
    program.schedule().add(Theartbeat::EVERY_TICK, QStringLiteral("download tray icons"), [this] {
        if (!program.closing())
            icons->refreshDownloads();
    });
}

TdesktopIntegration::~TdesktopIntegration() = default;

void TdesktopIntegration::firstStartQuestion()
{
    if (program.storedOptionsApplied() || program.quitting())
        return;
    if (!askShellIntegrationOnFirstStart(paths, programFilePath(), prompt()))
        program.requestQuit();
}

void TdesktopIntegration::second()
{
    if (program.closing())
        return;
    icons->refreshMain();
    if (language)
        language->translateWidget(&window);
    const bool wanted = opts().preventStandby || (serveExists() && serve().switches.preventStandby);
    const double activity = serveExists() ? serve().lastNetworkActivity() * 86400.0 : 0;
    standby->tick(wanted, activity, now() * 86400.0);
}

void TdesktopIntegration::switchShell()
{
    switchShellIntegration(paths, programFilePath(), prompt());
}

void TdesktopIntegration::switchStartWithSession()
{
    if (!toggleStartWithSession(paths, programFilePath()))
        prompt().message(QStringLiteral("Can't write %1").arg(paths.autostartEntry), PK_ERROR);
}

void TdesktopIntegration::uninstall()
{
    uninstallProgram(program, paths, prompt(), true);
}

void TdesktopIntegration::editEventScripts()
{
    const QString file = eventsFileForEditing(cfgPath());
    if (file.isEmpty() || !openFileInEditor(file))
        prompt().message(QStringLiteral("Cannot open the event scripts in the editor"), PK_ERROR);
}

QList<TmenuEntry> TdesktopIntegration::menuEntries()
{
    QList<TmenuEntry> m;
    TmenuEntry shell;
    shell.liveCaption = [this] { return shellMenuCaption(paths); };
    shell.caption = QStringLiteral("Integrate in shell context menu");
    shell.run = [this] { switchShell(); };
    m += shell;
    TmenuEntry session;
    session.caption = QStringLiteral("Run ZOF when the desktop session starts");
    session.checked = [this] { return startsWithSession(paths, programFilePath()); };
    session.run = [this] { switchStartWithSession(); };
    m += session;
    TmenuEntry tray;
    tray.caption = QStringLiteral("Minimize to tray");
    tray.offered = [this] { return icons->available(); };
    tray.run = [this] { icons->minimizeToTray(); };
    m += tray;
    TmenuEntry mainIcon;
    mainIcon.caption = QStringLiteral("Show main tray icon");
    mainIcon.optionKey = QStringLiteral("show-main-tray-icon");
    mainIcon.offered = [this] { return icons->available(); };
    mainIcon.run = [this] { icons->refreshMain(); };
    m += mainIcon;
    TmenuEntry awake;
    awake.caption = QStringLiteral("Prevent system standby on network activity");
    awake.optionKey = QStringLiteral("prevent-standby");
    awake.cls = MC_EXPERT;
    m += awake;
    TmenuEntry events;
    events.caption = QStringLiteral("Edit event scripts...");
    events.cls = MC_EXPERT;
    events.key = QKeySequence(Qt::ALT | Qt::Key_F6);
    events.run = [this] { editEventScripts(); };
    m += events;
    m += TmenuEntry::line();
    TmenuEntry remove;
    remove.caption = QStringLiteral("Uninstall ZOF");
    remove.run = [this] { uninstall(); };
    m += remove;
    return m;
}
