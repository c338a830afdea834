#include "serve/serve.h"

#include "config/options.h"
#include "config/paths.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "http/speedLimiter.h"
#include "log/log.h"
#include "serve/connData.h"
#include "serve/fileCache.h"
#include "serve/icons.h"
#include "serve/trafficDump.h"
#include "util/addresses.h"
#include "util/service.h"
#include "serve/treeAccess.h"

#include <QCoreApplication>
#include <QSet>

#include <cstdio>

namespace {

// The line a headless run prints once it listens: scripts and tests wait
// for it on standard output.
void announceListening(const QString &url)
{
    const QString line = QStringLiteral("ZOF listening on ") + url + u'\n';
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

Tserve &serve()
{
    return Tservice<Tserve>::get();
}

bool serveExists()
{
    return Tservice<Tserve>::find() != nullptr;
}

Tserve::Tserve()
    : server(std::make_unique<ThttpSrv>()), globalLimit(std::make_unique<TspeedLimiter>()),
      smallFiles(std::make_unique<TfileCache>()),
      sessionHooks(std::make_unique<TsessionHooks>()), admissionHooks(std::make_unique<TadmissionHooks>()),
      pageHooks(std::make_unique<TpageHooks>()), uploadHooks(std::make_unique<TuploadHooks>()),
      eventHooks(std::make_unique<TeventHooks>()), counterHooks(std::make_unique<TcounterHooks>())
{
    initServeResources();
    programStart = now();
    dumpFile = cfgPath() + QStringLiteral("zof-dump.bin");
    server->autoFree = false;
    server->limiters.append(globalLimit.get());
    server->onEvent = [this](TserverEvent e, ThttpConn *c) { onEvent(e, c); };
}

Tserve::~Tserve()
{
    server->stop();
    server->disconnectAll(false);
    freeEnded();
    // Records of connections still held by the server go with them.
    for (QList<ThttpConn *> *l : {&server->conns, &server->disconnecting, &server->offlines})
        for (ThttpConn *c : std::as_const(*l)) {
            TconnData *cd = TconnData::of(c);
            if (cd && !toFree.contains(cd))
                delete cd;
            c->setOwner(nullptr);
        }
    for (TconnData *cd : std::as_const(toFree)) {
        cd->conn = nullptr; // its connection was already unlinked above
        delete cd;
    }
    toFree.clear();
    server->onEvent = nullptr;
    server.reset();
    qDeleteAll(perIp);
}

// ---- listening ----

bool Tserve::tryPort(const QString &port)
{
    try {
        server->setPort(port);
    } catch (const std::exception &) {
        return false;
    }
    QString on = opts().listenOn.trimmed();
    if (!on.isEmpty() && !isIpAddress(on))
        on.clear();
    return server->start(on);
}

bool Tserve::startServer()
{
    if (server->isListening())
        return false;
    const QString configured = opts().port.trimmed();
    const QStringList ports = configured.isEmpty()
        ? QStringList{QStringLiteral("80"), QStringLiteral("8080"), QStringLiteral("280"), QStringLiteral("10080"),
                      QStringLiteral("0")}
        : QStringList{configured};
    for (const QString &p : ports) {
        if (!tryPort(p))
            continue;
        started = now();
        setTreeServerPort(server->port());
        QString host = opts().listenOn.trimmed();
        if (host.isEmpty() || !isIpAddress(host))
            host = QStringLiteral("127.0.0.1");
        if (host.contains(u':'))
            host = u'[' + host + u']';
        announceListening(QStringLiteral("http://") + host + u':' + server->port() + u'/');
        QString on = opts().listenOn.trimmed();
        startHttps(isIpAddress(on) ? on : QString(), host);
        return true;
    }
    add2log(QStringLiteral("Cannot listen on port ") + (configured.isEmpty() ? QStringLiteral("80") : configured)
                + QStringLiteral(": ") + server->lastError(),
            {}, TlogColour::red());
    return false;
}

void Tserve::stopServer()
{
    server->stop();
    setTreeServerPort(QString());
}

bool Tserve::restartServer()
{
    if (!server->isListening())
        return false;
    stopServer();
    return startServer();
}

bool Tserve::isListening() const
{
    return server->isListening();
}

QString Tserve::listeningPort() const
{
    return server->isListening() ? server->port() : QString();
}

// ---- records ----

TspeedLimiter *Tserve::perIpLimiter(const QString &address)
{
    if (address.isEmpty())
        return nullptr;
    TspeedLimiter *&l = perIp[address];
    if (!l) {
        l = new TspeedLimiter();
        server->limiters.append(l);
    }
    return l;
}

void Tserve::dropIdleLimiters()
{
    if (perIp.isEmpty())
        return;
    QSet<TspeedLimiter *> used;
    for (ThttpConn *c : std::as_const(server->conns))
        for (TspeedLimiter *l : std::as_const(c->limiters()))
            used.insert(l);
    for (ThttpConn *c : std::as_const(server->disconnecting))
        for (TspeedLimiter *l : std::as_const(c->limiters()))
            used.insert(l);
    for (auto it = perIp.begin(); it != perIp.end();) {
        if (used.contains(it.value())) {
            ++it;
            continue;
        }
        server->limiters.removeAll(it.value());
        for (ThttpConn *c : std::as_const(server->offlines))
            c->limiters().removeAll(it.value());
        delete it.value();
        it = perIp.erase(it);
    }
}

void Tserve::freeEnded()
{
    if (toFree.isEmpty())
        return;
    QList<TconnData *> kept;
    for (TconnData *cd : std::as_const(toFree)) {
        ThttpConn *c = cd->conn;
        if (c && c->isLocked()) {
            kept.append(cd);
            continue;
        }
        if (cd->limiter) {
            server->limiters.removeAll(cd->limiter.get());
            if (c)
                c->limiters().removeAll(cd->limiter.get());
        }
        cd->conn = nullptr;
        if (c) {
            c->setOwner(nullptr);
            try {
                ThttpConn::free(c);
            } catch (const std::exception &) {
            }
        }
        delete cd;
    }
    toFree = kept;
    dropIdleLimiters();
}

void Tserve::shutdown()
{
    server->stop();
    server->disconnectAll(true);
    // Closed sockets are reported by the server's tick.
    server->timerTick();
    freeEnded();
}

void Tserve::setSessionHooks(std::unique_ptr<TsessionHooks> h)
{
    sessionHooks = h ? std::move(h) : std::make_unique<TsessionHooks>();
}
void Tserve::setAdmissionHooks(std::unique_ptr<TadmissionHooks> h)
{
    admissionHooks = h ? std::move(h) : std::make_unique<TadmissionHooks>();
}
void Tserve::setPageHooks(std::unique_ptr<TpageHooks> h)
{
    pageHooks = h ? std::move(h) : std::make_unique<TpageHooks>();
}
void Tserve::setUploadHooks(std::unique_ptr<TuploadHooks> h)
{
    uploadHooks = h ? std::move(h) : std::make_unique<TuploadHooks>();
}
void Tserve::setEventHooks(std::unique_ptr<TeventHooks> h)
{
    eventHooks = h ? std::move(h) : std::make_unique<TeventHooks>();
}
void Tserve::setCounterHooks(std::unique_ptr<TcounterHooks> h)
{
    counterHooks = h ? std::move(h) : std::make_unique<TcounterHooks>();
}
