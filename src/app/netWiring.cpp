#include "app/netWiring.h"

#include "app/laterSteps.h"
#include "app/urlAddressWiring.h"
#include "config/config.h"
#include "config/options.h"
#include "macros/webLocations.h"
#include "net/ddnsUpdater.h"
#include "net/externalAddress.h"
#include "net/httpClient.h"
#include "script/macroEngine.h"
#include "util/prompt.h"

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

QString externalAddressSearched()
{
    if (knownExternalAddress().isEmpty())
        searchOnce();
    return knownExternalAddress();
}

void showStatus(const QString &text, int seconds)
{
    if (const auto &status = macroSettings().statusBar)
        status(text, seconds);
}

} // namespace

void installWebClient(ThttpClient *client)
{
    webClient = client;
    TwebLocations &w = webLocations();
    w.load = client ? &loadWeb : nullptr;
    w.size = client ? &webSize : nullptr;
    cfg().hooks.externalAddress = client ? &externalAddressSearched : std::function<QString()>();
    TddnsUpdater &ddns = ddnsUpdater();
    if (client) {
        ddns.fetch = [](const QString &url) { return loadWeb(url, 0, -1, kServiceReplyLimit); };
        ddns.findAddress = &searchOnce;
        ddns.status = &showStatus;
    } else {
        ddns.fetch = nullptr;
        ddns.findAddress = nullptr;
        ddns.status = nullptr;
    }
}

void setUrlAddress(const QString &address)
{
    QString chosen = address;
    if (chosen.isEmpty())
        chosen = knownExternalAddress();
    if (chosen.isEmpty())
        chosen = preferredOwnAddress();
    opts().ip = chosen;
    optionsToUrlAddress();
}

void searchExternalAddressOnStartup()
{
    if (searchOnce())
        setUrlAddress(knownExternalAddress());
    else
        showStatus(QStringLiteral("Search for external address failed"), 30);
}

void searchExternalAddressAgain()
{
    searchOnce();
}

void updateDynamicDns()
{
    ddnsUpdater().second(prompt());
}
