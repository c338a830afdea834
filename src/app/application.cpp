#include "app/application.h"

#include "app/logWiring.h"
#include "app/serveWiring.h"
#include "app/templateWiring.h"
#include "app/treeStoreWiring.h"
#include "config/config.h"
#include "serve/pageAdapter.h"

Tapplication::Tapplication(const QStringList &args, QObject *parent)
    : QObject(parent), life(std::make_unique<Tprogram>(args))
{
    assemble();
}

Tapplication::~Tapplication() = default;

int Tapplication::run()
{
    return life->run();
}

// The whole program's assembly. Within one signal, handlers run in the order
// they are connected here; that order is part of the behaviour.
void Tapplication::assemble()
{
    Tprogram *p = life.get();
    TcfgSignals *applied = services.config->notifier.get();

    // Parts that exist before start-up: the server's sessions and uploads
    // and the options' control over it,
    // the tree store, the templates.
    installServeParts();
    giveControlOfServer();
    installTreeStore();
    installTemplates();

    // Initialisation: the server's admission rules first, then the folder
    // and special pages that read the built-in templates.
    connect(p, &Tprogram::initialising, this, &installAdmissionRules);
    connect(p, &Tprogram::initialising, this, &installPageHooks);

    // Options applied: the log first, so that what the others log follows
    // the new options; the tree store takes its settings (and the tree its
    // file name) before the templates switch file: the store's settings set
    // the folder that relative names, template ones too, are taken against.
    connect(applied, &TcfgSignals::applied, this, &optionsToLog);
    connect(applied, &TcfgSignals::applied, this, &optionsToStore);
    connect(applied, &TcfgSignals::applied, this, &optionsToTemplates);
    connect(applied, &TcfgSignals::applied, this, &optionsToServer);

    // Command-line files and trees, and the reload of the last tree.
    p->hooks.reloadLastVfs = [p] { reloadLastVfsOnce(*p); };
    p->hooks.loadVfs = [p](const QString &path) { loadVfsNamed(*p, path); };
    p->hooks.addFiles = [p](const QStringList &paths, bool realFolders) {
        addNamedFiles(*p, [&] { addFilesToRoot(paths, realFolders); });
    };

    // "start" reloads the last tree if still due; "quit" leaves the tree
    // before the options are saved and the server goes.
    connect(p, &Tprogram::eventDue, this, [p](const QString &section) { treeStoreOnEvent(*p, section); });

    // Heartbeat: the server's housekeeping (sessions, ended connections,
    // timeouts), then the tree's automatic saving, then the template check;
    // the program saves changed options after these.
    connect(p, &Tprogram::heartbeat, this, &serveHeartbeat);
    connect(p, &Tprogram::heartbeat, this, &treeStoreHeartbeat);
    connect(p, &Tprogram::heartbeat, this, &templateHeartbeat);

    // Shutdown: connections closed and waited for, then the server released.
    connect(p, &Tprogram::closingConnections, this, &closeAllConnections);
    connect(p, &Tprogram::releasingServer, this, [this] { services.releaseServer(); });
}
