#include "app/urlAddressWiring.h"

#include "config/options.h"
#include "config/urlAddress.h"
#include "net/externalAddress.h"
#include "net/urlAddressCheck.h"
#include "util/addresses.h"
#include "vfs/vfs.h"

#include <QHostAddress>
#include <QNetworkInterface>

QStringList ownAddresses()
{
    QStringList v4, v6;
    for (const QHostAddress &a : QNetworkInterface::allAddresses()) {
        if (a.isNull() || a.isLoopback())
            continue;
        bool isV4 = false;
        const quint32 v = a.toIPv4Address(&isV4);
        if (isV4)
            v4.append(QHostAddress(v).toString()); // never "::ffff:a.b.c.d"
        else if (!a.isLinkLocal())
            v6.append(a.toString());
    }
    return v4 + v6;
}

QStringList currentUrlAddressCandidates()
{
    const Toptions &o = opts();
    return urlAddressCandidates(Tvfs::instance().settings().defaultIP, o.dynamicDnsHost, o.customIp,
                                knownExternalAddress(), ownAddresses());
}

namespace {

void useUrlAddress(const QString &address)
{
    Tvfs &tree = Tvfs::instance();
    if (tree.settings().defaultIP == address)
        return;
    TvfsSettings s = tree.settings();
    s.defaultIP = address;
    tree.setSettings(s);
}

} // namespace

QString preferredOwnAddress()
{
    return preferredLocalAddress(ownAddresses());
}

void optionsToUrlAddress()
{
    const Toptions &o = opts();
    // The external address, once known, is kept like a custom one.
    QStringList kept = o.customIp;
    if (!knownExternalAddress().isEmpty())
        kept.append(knownExternalAddress());
    useUrlAddress(urlAddressFor(o.ip, kept, o.listenOn, ownAddresses()));
}

void reexamineUrlAddress()
{
    // Chosen again from the options: the machine's addresses come and go.
    optionsToUrlAddress();
    const Toptions &o = opts();
    if (!o.searchBetterIp)
        return;
    // A server listening on one address is reached there only.
    const QString on = o.listenOn.trimmed();
    const bool oneAddress = isIpAddress(on) && on != u"0.0.0.0" && on != u"::";
    const QStringList own = oneAddress ? QStringList{on} : ownAddresses();
    const QString better = betterUrlAddress(Tvfs::instance().settings().defaultIP, o.customIp, own);
    if (!better.isEmpty())
        useUrlAddress(better);
}
