#include "app/updateWiring.h"

#include "app/laterSteps.h"
#include "app/program.h"
#include "config/options.h"
#include "net/updater.h"
#include "script/macroEngine.h"
#include "serve/serve.h"
#include "http/httpSrv.h"
#include "util/prompt.h"
#include "vfs/vfs.h"
#include "vfs/vfsStore.h"

#include <QCoreApplication>
#include <QFile>

#include <unistd.h>

#include <memory>
#include <vector>

namespace {

std::unique_ptr<Tupdater> updater;
bool restartAsked = false;
QString restartFile;

void status(const QString &text, int seconds)
{
    if (const auto &bar = macroSettings().statusBar)
        bar(text, seconds);
}

} // namespace

void installUpdater(ThttpClient *client)
{
    if (!client) {
        updater.reset();
        return;
    }
    updater = std::make_unique<Tupdater>(*client, QCoreApplication::applicationFilePath());
    TupdaterHooks &h = updater->hooks;
    h.openConnections = [] { return serveExists() ? int(serve().srv().conns.size()) : 0; };
    h.stopListening = [] {
        if (serveExists())
            serve().stopServer();
    };
    h.resumeListening = [] {
        if (serveExists())
            serve().startServer();
    };
    h.restart = [] {
        restartAsked = true;
        restartFile = updater->programFile();
        if (Tprogram *p = Tprogram::instance())
            p->requestQuit();
    };
    h.status = &status;
    h.progress = [](const QString &text) { status(text, 0); };
    h.closing = [] {
        const Tprogram *p = Tprogram::instance();
        return p && p->closing();
    };
    h.leaveTree = [] {
        if (!TvfsStore::instance().leaveVFS(true))
            return false;
        Tvfs::instance().setModified(false); // the restart's quit asks no more
        return true;
    };
    // A window would open the browser; headless, the message says it all.
}

void checkForUpdateDaily()
{
    if (updater)
        updater->autoCheckUpdates();
}

void runPendingUpdate()
{
    if (updater)
        updater->runPending();
}

void checkForUpdatesNow()
{
    if (updater)
        updater->manualCheck();
}

void revertToPreviousVersion()
{
    if (updater && !updater->revertUpdate())
        prompt().message(QStringLiteral("There is no previous version to revert to."), PK_WARNING);
}

bool restartWanted()
{
    return restartAsked;
}

void restartProgram()
{
    const QStringList args = QCoreApplication::arguments();
    std::vector<QByteArray> bytes;
    bytes.push_back(QFile::encodeName(restartFile));
    for (qsizetype i = 1; i < args.size(); ++i)
        bytes.push_back(args[i].toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    ::execv(bytes.front().constData(), argv.data());
    prompt().message(QStringLiteral("The updated program could not be started: ") + restartFile, PK_ERROR);
}
