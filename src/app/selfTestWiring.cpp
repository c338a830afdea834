#include "app/selfTestWiring.h"

#include "app/netWiring.h"
#include "app/urlAddressWiring.h"
#include "config/config.h"
#include "config/options.h"
#include "net/httpClient.h"
#include "net/externalAddress.h"
#include "net/selfTest.h"
#include "script/macroEngine.h"
#include "serve/serve.h"
#include "util/prompt.h"
#include "vfs/vfs.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

ThttpClient *web = nullptr;

QString urlAddress()
{
    return Tvfs::instance().settings().defaultIP;
}

TselfTestHooks hooks()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    TselfTestHooks h;
    h.get = [](const QString &url) { return web->httpGet(url); };
    h.listening = [] { return serve().isListening(); };
    h.startServer = [] {
        if (cfg().hooks.startServer)
            cfg().hooks.startServer();
        return serve().isListening();
    };
    h.serverPort = [] { return serve().listeningPort(); };
    h.setPort = [](const QString &port) {
        opts().port = port;
        if (serve().isListening())
            serve().restartServer();
    };
    h.urlAddress = &urlAddress;
    h.setUrlAddress = &setUrlAddress;
    h.externalAddress = [] { return knownExternalAddress(); };
    h.findExternalAddress = [] {
        if (cfg().hooks.externalAddress)
            cfg().hooks.externalAddress();
    };
    h.candidates = &currentUrlAddressCandidates;
    h.ownAddresses = &ownAddresses;
    h.suspendLimits = [](bool on) { serve().counters().selfTestOn = on; };
    h.progress = [](const QString &caption) {
        if (const auto &bar = macroSettings().statusBar)
            bar(caption, 0);
    };
    h.clockMs = [] { return clock.elapsed(); };
    h.pause = [](qint64 ms) {
        // The server goes on answering meanwhile.
        QEventLoop loop;
        QTimer::singleShot(int(ms), &loop, &QEventLoop::quit);
        loop.exec();
    };
    return h;
}

TselfTestSettings settings()
{
    const Toptions &o = opts();
    TselfTestSettings s;
    s.serviceUrl = o.selfTestUrl;
    s.probeUrl = o.internetProbeUrl;
    s.listenOn = o.listenOn;
    s.httpsUrl = o.httpsUrl;
    for (const QString &p : o.selfTestPorts.split(u',', Qt::SkipEmptyParts))
        s.ports.append(p.trimmed());
    return s;
}

} // namespace

void installSelfTest(ThttpClient *client)
{
    web = client;
}

void runSelfTest(bool confirmed)
{
    if (!web || !serveExists())
        return;
    if (confirmed)
        prompt().message(selfTestExplanation());
    TselfTest(hooks(), settings()).run(confirmed);
}
