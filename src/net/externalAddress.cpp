#include "net/externalAddress.h"

#include "config/options.h"
#include "log/log.h"
#include "net/addressReply.h"
#include "net/httpClient.h"

#include <QRandomGenerator>

namespace {

QString &lastService()
{
    static QString s;
    return s;
}

QString chooseService()
{
    const Toptions &o = opts();
    if (!o.externalIpServer.isEmpty())
        return o.externalIpServer;
    QStringList entries = serviceEntries(o.ipServices.join(u'\n'));
    if (entries.isEmpty())
        entries = serviceEntries(builtInServiceList());
    const QString pick = pickService(entries, lastService(), [](int n) {
        return int(QRandomGenerator::global()->bounded(n));
    });
    if (!pick.isEmpty())
        lastService() = pick;
    return pick;
}

} // namespace

QString &knownExternalAddress()
{
    static QString address;
    return address;
}

const QString &lastAddressService()
{
    return lastService();
}

bool findExternalAddress(ThttpClient &client, QString &service)
{
    const QString entry = chooseService();
    if (entry.isEmpty())
        return false;
    const TaddressService s = splitServiceEntry(entry);
    service = s.url;
    const std::optional<QString> reply = client.httpGet(s.url, 0, -1, kServiceReplyLimit);
    if (!reply)
        return false;
    const QString address = addressInReply(*reply, s.marker);
    if (!isExternalAddress(address))
        return false;
    QString &known = knownExternalAddress();
    if (address != known) {
        if (opts().logOthers)
            add2log(QStringLiteral("New external address: %1 via %2").arg(address, serviceHost(s.url)));
        known = address;
    }
    return true;
}
