#include "app/netWiring.h"

#include "app/laterSteps.h"
#include "app/urlAddressWiring.h"
#include "config/config.h"
#include "config/options.h"
#include "macros/webLocations.h"
#include "net/externalAddress.h"
#include "net/httpClient.h"
#include "script/macroEngine.h"

namespace {

ThttpClient *webClient = nullptr;

std::optional<QString> loadWeb(const QString &url, qint64 from, qint64 size, qint64 maxBytes)
{
    if (!webClient)
        return std::nullopt;
    return webClient->httpGet(url, from, size, maxBytes);
}

qint64 webSize(const QString &url)
{
    return webClient ? webClient->httpSize(url) : -1;
}

bool searchOnce()
{
    QString service;
    return webClient && findExternalAddress(*webClient, service);
}

} // namespace

void installWebClient(ThttpClient *client)
{
    webClient = client;
    TwebLocations &w = webLocations();
    w.load = client ? &loadWeb : nullptr;
    w.size = client ? &webSize : nullptr;
    if (client)
        cfg().hooks.findExternalAddress = [] { searchOnce(); };
    else
        cfg().hooks.findExternalAddress = nullptr;
}

void searchExternalAddressOnStartup()
{
    if (searchOnce()) {
        opts().ip = opts().lastExternalAddress;
        optionsToUrlAddress();
    } else if (const auto &status = macroSettings().statusBar) {
        status(QStringLiteral("Search for external address failed"), 30);
    }
}

void searchExternalAddressAgain()
{
    searchOnce();
}
