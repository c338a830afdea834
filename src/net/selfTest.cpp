#include "net/selfTest.h"

#include "util/addresses.h"
#include "util/prompt.h"

#include <QUrl>
#include <QUrlQuery>

namespace {
// Each attempt after a busy reply lasts at least this long.
constexpr qint64 kAttemptFloorMs = 3100;
}

QString selfTestExplanation()
{
    return QStringLiteral(
        "Here you can test if your server does work on the Internet.\r"
        "A test service will try to connect to this server from outside, at your address and port, "
        "and tell what it found.\r\r"
        "WARNING: for the duration of the test, all ban rules and limits on the number of connections won't apply.");
}

QString selfTestFailureText(const QString &reply, const QString &port)
{
    QString why;
    switch (reply.isEmpty() ? u'\0' : reply[0].unicode()) {
    case u'3': why = QStringLiteral("You may be behind a router or firewall."); break;
    case u'6':
        why = QStringLiteral("You are behind a router.\rEnsure it is configured to forward port %1 to your computer.")
                  .arg(port.isEmpty() ? QStringLiteral("80") : port);
        break;
    case u'7': why = QStringLiteral("You may be behind a firewall.\rEnsure nothing is blocking ZOF."); break;
    default: why = reply;
    }
    return QStringLiteral("The test failed: server does not answer.\r\r") + why;
}

bool betterSelfTestReply(const QString &reply, const QString &best)
{
    if (reply.isEmpty() || !reply[0].isDigit())
        return false;
    return best.isEmpty() || reply[0] < best[0];
}

QString selfTestRequest(const QString &serviceUrl, const QString &address, const QString &port, bool natted)
{
    QUrl url(serviceUrl);
    QUrlQuery q(url);
    q.addQueryItem(QStringLiteral("port"), port);
    q.addQueryItem(QStringLiteral("host"), address);
    q.addQueryItem(QStringLiteral("natted"), natted ? QStringLiteral("yes") : QStringLiteral("no"));
    url.setQuery(q);
    return url.toString(QUrl::FullyEncoded);
}

TselfTest::TselfTest(TselfTestHooks hooks, TselfTestSettings settings)
    : h(std::move(hooks)), s(std::move(settings))
{
}

bool TselfTest::isLocal(const QString &address) const
{
    return address.isEmpty() || isLocalAddress(address);
}

std::optional<QString> TselfTest::testAddress(const QString &address, const QString &port)
{
    const QString p = port.isEmpty() ? h.serverPort() : port;
    if (h.progress)
        h.progress(QStringLiteral("Testing ") + address + u':' + p + QStringLiteral(" ..."));
    const QString external = h.externalAddress();
    const bool natted = !h.ownAddresses().contains(external);
    const QString url = selfTestRequest(s.serviceUrl, address, p, natted);
    while (true) {
        if (h.cancelled && h.cancelled()) {
            wasCancelled = true;
            return std::nullopt;
        }
        const qint64 start = h.clockMs();
        ++attempts;
        const std::optional<QString> reply = h.get(url);
        if (!reply)
            return std::nullopt;
        if (!reply->startsWith(u'4'))
            return reply->trimmed();
        const qint64 spent = h.clockMs() - start;
        if (spent < kAttemptFloorMs)
            h.pause(kAttemptFloorMs - spent);
    }
}

void TselfTest::addressPhase()
{
    if (h.externalAddress().isEmpty()) {
        if (h.progress)
            h.progress(QStringLiteral("Retrieving external address..."));
        h.findExternalAddress();
    }
    QStringList addresses{h.urlAddress()};
    for (const QString &a : h.candidates())
        if (!addresses.contains(a, Qt::CaseInsensitive))
            addresses.append(a);
    for (const QString &a : addresses) {
        if (isLocal(a) || wasCancelled)
            continue;
        const std::optional<QString> reply = testAddress(a, {});
        if (!reply || !betterSelfTestReply(*reply, bestResult))
            continue;
        bestResult = *reply;
        bestAddress = a;
        if (bestResult.startsWith(u'1'))
            break;
    }
}

// Other ports on the URL address (or the external one when that is local);
// true when one answered and was kept.
bool TselfTest::portPhase()
{
    QString address = h.urlAddress();
    if (isLocal(address))
        address = h.externalAddress();
    if (isLocal(address))
        return false;
    const QString before = h.serverPort();
    for (const QString &port : s.ports) {
        if (port == before || wasCancelled)
            continue;
        h.setPort(port);
        if (h.serverPort() != port)
            continue;
        const std::optional<QString> reply = testAddress(address, port);
        if (reply && reply->startsWith(u'1')) {
            if (bestResult.isEmpty() || !bestResult.startsWith(u'1')) {
                bestResult = *reply;
                bestAddress = h.urlAddress();
            }
            return true;
        }
    }
    h.setPort(before);
    return false;
}

void TselfTest::run(bool confirmed)
{
    if (s.serviceUrl.isEmpty()) {
        prompt().message(QStringLiteral("The self test is not available: no test service is configured."), PK_WARNING);
        return;
    }
    if (!confirmed && prompt().question(selfTestExplanation(), PB_OK | PB_CANCEL, PB_CANCEL) != PB_OK)
        return;
    if (!h.listening() && !h.startServer()) {
        h.setPort(QString());
        if (!h.startServer()) {
            prompt().message(QStringLiteral("Unable to switch the server on"), PK_ERROR);
            return;
        }
    }
    if (s.listenOn == u"127.0.0.1") {
        prompt().message(QStringLiteral("Self test cannot be performed because ZOF was configured to accept "
                                        "connections only on 127.0.0.1"), PK_WARNING);
        return;
    }
    if (s.httpsUrl)
        prompt().message(QStringLiteral("Self test doesn't support HTTPS.\rIt's likely it won't work."), PK_WARNING);
    if (h.progress)
        h.progress(QStringLiteral("Self testing..."));
    h.suspendLimits(true);
    const QString oldPort = h.serverPort();
    addressPhase();
    bool portChanged = false;
    if (!bestResult.startsWith(u'1') && !wasCancelled)
        portChanged = portPhase();
    h.suspendLimits(false);
    outcome(portChanged, oldPort);
}

void TselfTest::outcome(bool portChanged, const QString &oldPort)
{
    if (bestResult.startsWith(u'1')) {
        if (portChanged)
            prompt().message(QStringLiteral("Port %1 is not working, but another working port has been found and set: %2.")
                                 .arg(oldPort, h.serverPort()));
        else
            prompt().message(QStringLiteral("The test is successful. The server should be working fine."));
        if (!bestAddress.isEmpty() && bestAddress != h.urlAddress())
            h.setUrlAddress(bestAddress);
        return;
    }
    if (wasCancelled) {
        prompt().message(QStringLiteral("Test cancelled"));
        return;
    }
    if (!bestResult.isEmpty()) {
        prompt().message(selfTestFailureText(bestResult, h.serverPort()), PK_WARNING);
        return;
    }
    if (h.progress)
        h.progress(QStringLiteral("Testing internet connection..."));
    const bool online = !s.probeUrl.isEmpty() && h.get(s.probeUrl).has_value();
    prompt().message(online ? QStringLiteral("Sorry, the test is unavailable at the moment")
                            : QStringLiteral("Your internet connection does not work"),
                     PK_WARNING);
}
