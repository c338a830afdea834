#include "app/serveWiring.h"

#include "app/program.h"
#include "config/config.h"
#include "http/httpSrv.h"
#include "log/log.h"
#include "macros/macrosAccounts.h"
#include "serve/admission.h"
#include "serve/connData.h"
#include "serve/pageAdapter.h"
#include "serve/serve.h"
#include "serve/session.h"
#include "serve/timeouts.h"
#include "serve/treeAccess.h"
#include "serve/upload.h"
#include "util/inertText.h"
#include "vfs/account.h"
#include "vfs/comments.h"
#include "vfs/treeAdd.h"
#include "vfs/vfs.h"

#include <QFileInfo>

void addHandedPaths(const QStringList &paths)
{
    QStringList absolute;
    for (const QString &p : paths)
        absolute.append(QFileInfo(p).absoluteFilePath());
    TtreeAdder adder(Tvfs::instance());
    adder.addDroppedPaths(absolute.join(QStringLiteral("\r\n")), adder.handOverTarget());
}

// Connection records point into the account list; a macro that adds, removes
// or renames an account may move the list, so each record finds its account
// again by the name it logged in with (a renamed or deleted one is dropped).
static void refreshConnectionAccounts()
{
    if (!serveExists())
        return;
    for (ThttpConn *c : std::as_const(serve().srv().conns))
        if (TconnData *d = TconnData::of(c); d && d->credentials.account)
            d->credentials.account = d->credentials.user.isEmpty()
                ? nullptr
                : Taccounts::global().getAccount(d->credentials.user);
}

void installServeParts()
{
    accountsChangedByMacro() = refreshConnectionAccounts;
    // A protected node without a realm of its own may announce its comment,
    // which may come from the comment files beside its item. The realm goes
    // into a header: the files' text as written, not the form pages show.
    Tvfs::instance().setDynamicComment([](const Tfile &f) {
        return f.comment.isEmpty() ? plainFromInert(getDynamicComment(f, false)) : f.comment;
    });
    serve().setSessionHooks(std::make_unique<TsessionManager>());
    serve().setUploadHooks(std::make_unique<TuploadManager>());
}

void installAdmissionRules()
{
    serve().setAdmissionHooks(std::make_unique<TadmissionRules>());
}

void releaseEndedConnections()
{
    if (serveExists())
        serve().freeEnded();
}

void watchConnections()
{
    if (serveExists())
        timeouts().watch(serve());
}

void releaseExpiredSessions()
{
    TsessionManager::purgeNow();
}

void connectionsSecond()
{
    if (serveExists())
        timeouts().secondWork(serve());
}

void closeAllConnections()
{
    if (serveExists())
        serve().shutdown();
}

void optionsToServer()
{
    if (serveExists())
        serve().srv().persistentConnections = opts().persistentConnections;
}

void giveControlOfServer()
{
    // The timeouts outlive the program object: they find it afresh each time.
    timeouts().quit = [] {
        if (Tprogram *p = Tprogram::instance())
            p->requestQuit();
    };
    timeouts().downloadBufferSize = [] {
        const Tprogram *p = Tprogram::instance();
        return !p ? 0 : p->sendBufferSize() > 0 ? p->sendBufferSize() : p->socketBufferSize();
    };
    TcfgHooks &h = cfg().hooks;
    h.serverActive = [] { return serveExists() && serve().isListening(); };
    h.startServer = [] { serve().startServer(); };
    h.stopServer = [] {
        if (serveExists())
            serve().stopServer();
    };
    h.restartServer = [] {
        if (serveExists() && serve().isListening())
            serve().restartServer();
    };
    h.bytesSentCount = [] { return serveExists() ? serve().srv().bytesSent : 0; };
    h.bytesReceivedCount = [] { return serveExists() ? serve().srv().bytesReceived : 0; };
}
