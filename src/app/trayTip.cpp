#include "app/trayTip.h"

#include "app/program.h"
#include "config/options.h"
#include "config/version.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "pages/symbols.h"
#include "serve/connData.h"
#include "serve/connRow.h"
#include "serve/serve.h"
#include "util/service.h"
#include "util/dateTime.h"
#include "util/format.h"
#include "vfs/vfs.h"
#include "vfs/vfsSettings.h"

#include <QSet>

#include <cmath>

QString trayTipText(const QString &tpl, const TtrayTipValues &v)
{
    QString s = tpl;
    // %uptime% is built only when asked for: the others are cheap.
    if (s.contains(u"%uptime%"))
        s.replace(QStringLiteral("%uptime%"), uptimeText(v.listening, v.uptimeSeconds));
    s.replace(QStringLiteral("%url%"), v.url);
    s.replace(QStringLiteral("%ip%"), v.ip);
    s.replace(QStringLiteral("%port%"), v.port);
    s.replace(QStringLiteral("%hits%"), QString::number(v.hits));
    s.replace(QStringLiteral("%downloads%"), QString::number(v.downloads));
    s.replace(QStringLiteral("%uploads%"), QString::number(v.uploads));
    s.replace(QStringLiteral("%version%"), v.version);
    s.replace(QStringLiteral("%build%"), v.build);
    return s;
}

TtrayTipValues trayTipValuesNow()
{
    TtrayTipValues v;
    const Toptions &o = opts();
    if (serveExists()) {
        v.listening = serve().isListening();
        v.uptimeSeconds = (now() - serve().startTime()) * 86400.0;
        v.port = serve().listeningPort();
    }
    if (const Tfile *root = Tvfs::instance().root()) {
        v.url = root->fullURL();
        v.ip = root->vfsSettings().defaultIP;
    }
    v.hits = o.hitsTotal;
    v.downloads = o.downloadsTotal;
    v.uploads = o.uploadTotal;
    v.version = zofVersion();
    v.build = zofBuild();
    return v;
}

QString trayTipNow(const QString &tpl)
{
    const Tprogram *p = Tprogram::instance();
    if ((p && p->closing()) || !Tservice<Tvfs>::find() || !Tvfs::instance().root())
        return {};
    return trayTipText(tpl.isEmpty() ? opts().trayMessage : tpl, trayTipValuesNow());
}

TtrayCounts trayCountsNow()
{
    const Toptions &o = opts();
    TtrayCounts c;
    c.downloads = o.downloadsTotal;
    c.uploads = o.uploadTotal;
    c.hits = o.hitsTotal;
    c.addressesEver = o.ipsEverConnected.size();
    if (serveExists()) {
        QSet<QString> addresses;
        for (const ThttpConn *conn : std::as_const(serve().srv().conns))
            if (const TconnData *d = TconnData::of(conn))
                addresses.insert(d->address);
        c.connections = serve().srv().conns.size();
        c.addresses = addresses.size();
    }
    return c;
}

QString cutTrayTip(const QString &tip)
{
    QString s = tip;
    // The option keeps its lines CR-separated; the desktop wants line feeds.
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    return s.left(trayTipLimit);
}

bool wantsDownloadIcon(const ThttpConn &c)
{
    const TconnData *d = TconnData::of(&c);
    return d && d->transfer.countAsDownload && downloadInProgress(c) && c.bodyBytesSent() < c.rangeSize();
}

QString downloadTipText(const QString &fileName, double averageSpeed, qint64 sent, const QString &address)
{
    return fileName + u'\n' + QString::asprintf("%.1f kB/s", averageSpeed / 1000) + u'\n' + groupDigits(sent)
           + QStringLiteral(" bytes sent") + u'\n' + address;
}

QString downloadTipOf(const ThttpConn &c)
{
    const TconnData *d = TconnData::of(&c);
    if (!d)
        return {};
    return downloadTipText(d->transfer.lastFileName, d->transfer.averageSpeed, c.bodyBytesSent(), d->address);
}

int downloadPercent(qint64 sent, qint64 size)
{
    if (size <= 0)
        return 0;
    return int(qBound<qint64>(0, sent, size) * 100 / size);
}

int downloadPercentOf(const ThttpConn &c)
{
    return downloadPercent(c.bodyBytesSent(), c.rangeSize());
}

TtrayBalloon trayBalloon(const QString &message, double seconds, const QString &title)
{
    TtrayBalloon b;
    b.message = message.left(balloonMessageLimit);
    b.title = title.left(balloonTitleLimit);
    b.timeoutMs = int(std::lround(qMax(0.0, seconds) * 1000));
    return b;
}
