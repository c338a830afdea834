#pragma once
// Request handling: the server object, its event handler and the records of
// the connections. The application owns the program's one instance (serve()).

#include "http/serverEvent.h"
#include "serve/serveHooks.h"
#include "util/dateTime.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

class ThttpConn;
class ThttpSrv;
class TconnData;
class TfileCache;
class TspeedLimiter;

// Operator switches of the Debug menu; not stored with the options.
struct TserveSwitches
{
    bool dumpTraffic = false;          // append traffic to "zof-dump.bin"
    bool noContentDisposition = false; // inline files get no Content-Disposition
    bool preventStandby = false;
    bool highSpeedHandling = false;    // a fast download's send buffer grows with its speed
    bool pauseStreaming = false;       // the shared limiter lets nothing through
};

class Tserve
{
public:
    Tserve();
    ~Tserve();
    Tserve(const Tserve &) = delete;
    Tserve &operator=(const Tserve &) = delete;

    ThttpSrv &srv() { return *server; }
    TspeedLimiter &globalLimiter() { return *globalLimit; }

    // Listening, with the port rule: the options' port alone, or the first
    // of 80, 8080, 280, 10080 and 0 that opens. Announces the URL headless.
    bool startServer();
    void stopServer();
    bool restartServer();
    bool isListening() const;
    // The port in use ("" while not listening).
    QString listeningPort() const;
    // The HTTPS port listened on; empty when there is no HTTPS listener.
    QString httpsPort() const;
    // The pair used when the https-cert option is empty (the self-signed one).
    void setFallbackCertificate(const QString &certFile, const QString &keyFile);
    TdateTime startTime() const { return started; }
    // Program start, part of the tag of built-in assets.
    TdateTime uptimeBase() const { return programStart; }

    // The limiter shared by the connections of one address (null when the
    // address is empty); dropped once the address has no connection left.
    TspeedLimiter *perIpLimiter(const QString &address);
    // The last time a transfer made progress (the no-download timeout).
    void noteNetworkActivity() { lastNetActivity = nowCoarse(); }
    TdateTime lastNetworkActivity() const { return lastNetActivity; }
    // Small files' contents, kept between requests.
    TfileCache &fileCache() { return *smallFiles; }

    // The server's onEvent.
    void onEvent(TserverEvent e, ThttpConn *conn);
    // Frees the records (and connections) of ended connections that are no
    // longer locked; run by the heartbeat and at exit.
    void freeEnded();
    qsizetype pendingFrees() const { return toFree.size(); }
    // Closes every connection and waits, then frees the records.
    void shutdown();

    TserveSwitches switches;
    QString dumpFile; // where the traffic dump goes

    // Installed by the modules that own each concern (null restores the default).
    void setSessionHooks(std::unique_ptr<TsessionHooks> h);
    void setAdmissionHooks(std::unique_ptr<TadmissionHooks> h);
    void setPageHooks(std::unique_ptr<TpageHooks> h);
    void setUploadHooks(std::unique_ptr<TuploadHooks> h);
    void setEventHooks(std::unique_ptr<TeventHooks> h);
    void setCounterHooks(std::unique_ptr<TcounterHooks> h);
    TsessionHooks &sessions() { return *sessionHooks; }
    TadmissionHooks &admission() { return *admissionHooks; }
    TpageHooks &pages() { return *pageHooks; }
    TuploadHooks &uploads() { return *uploadHooks; }
    TeventHooks &events() { return *eventHooks; }
    TcounterHooks &counters() { return *counterHooks; }

private:
    // One handler per server event; onEvent routes to them.
    void onServerStart();
    void onServerStop();
    void onConnected(ThttpConn *conn);
    void onDisconnected(TconnData *cd);
    void onGotData();
    void onBytesSent(TconnData *cd);
    void onRequesting(TconnData *cd);
    void onGotHeader(TconnData *cd);
    void onRequest(TconnData &cd);
    void onStreamReady(ThttpConn *conn, TconnData *cd);
    void onReplied(TconnData *cd);
    void onUploadEvent(TserverEvent e, TconnData *cd);
    void onPostVars(ThttpConn *conn, TconnData *cd);
    void onPostVar(ThttpConn *conn, TconnData *cd);
    void onRequestCompleted(ThttpConn *conn, TconnData *cd);
    void onOpenFailed(ThttpConn *conn, TconnData *cd);

    void dumpTraffic(TserverEvent e, ThttpConn *conn);
    void runEvent(const QString &name, TconnData *cd);
    bool tryPort(const QString &port);
    void startHttps(const QString &onAddress, const QString &host);

    void dropIdleLimiters();

    std::unique_ptr<ThttpSrv> server;
    QHash<QString, TspeedLimiter *> perIp; // owned
    TdateTime lastNetActivity = 0;
    std::unique_ptr<TspeedLimiter> globalLimit;
    std::unique_ptr<TfileCache> smallFiles;
    QList<TconnData *> toFree;
    QString fallbackCert, fallbackKey;
    TdateTime started = 0;
    TdateTime programStart = 0;
    std::unique_ptr<TsessionHooks> sessionHooks;
    std::unique_ptr<TadmissionHooks> admissionHooks;
    std::unique_ptr<TpageHooks> pageHooks;
    std::unique_ptr<TuploadHooks> uploadHooks;
    std::unique_ptr<TeventHooks> eventHooks;
    std::unique_ptr<TcounterHooks> counterHooks;
};

// The program's server (owned by the application, which creates it before
// start-up and releases it at the end of the shutdown).
Tserve &serve();
// Whether the server exists (it is gone after the shutdown released it).
bool serveExists();
