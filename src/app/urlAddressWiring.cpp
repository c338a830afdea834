#include "app/urlAddressWiring.h"

#include "config/options.h"
#include "config/urlAddress.h"
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

void optionsToUrlAddress()
{
    const Toptions &o = opts();
    // The external address, once known, is kept like a custom one.
    QStringList kept = o.customIp;
    if (!o.lastExternalAddress.isEmpty())
        kept.append(o.lastExternalAddress);
    const QString address = urlAddressFor(o.ip, kept, o.listenOn, ownAddresses());
    Tvfs &tree = Tvfs::instance();
    if (tree.settings().defaultIP == address)
        return;
    TvfsSettings s = tree.settings();
    s.defaultIP = address;
    tree.setSettings(s);
}

void reexamineUrlAddress()
{
    optionsToUrlAddress();
}
