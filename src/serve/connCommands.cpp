#include "serve/connCommands.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "serve/connData.h"
#include "util/prompt.h"

namespace {

bool connIsOpen(const ThttpConn *c)
{
    return !c->isDisconnecting() && c->state() != HCS_DISCONNECTED;
}

QString connAddressOf(const ThttpConn *c)
{
    const TconnData *d = TconnData::of(c);
    return d ? d->address : c->address();
}

} // namespace

QList<ThttpConn *> listedConnections(const ThttpSrv &srv)
{
    return srv.conns + srv.offlines;
}

bool stillListed(const ThttpSrv &srv, const ThttpConn *c)
{
    ThttpConn *key = const_cast<ThttpConn *>(c);
    return c && (srv.conns.contains(key) || srv.offlines.contains(key));
}

void kickConnection(ThttpConn &c)
{
    if (TconnData *d = TconnData::of(&c))
        d->disconnect(QStringLiteral("kicked"));
    else
        c.disconnect();
}

int kickAddress(ThttpSrv &srv, const QString &address)
{
    int kicked = 0;
    const QList<ThttpConn *> conns = srv.conns; // disconnecting may change the list
    for (ThttpConn *c : conns) {
        if (!connIsOpen(c) || (address != u"*" && connAddressOf(c) != address))
            continue;
        if (TconnData *d = TconnData::of(c))
            d->disconnect(d->disconnectReason.isEmpty() ? QStringLiteral("kicked") : d->disconnectReason);
        else
            c->disconnect();
        ++kicked;
    }
    return kicked;
}

int kickIdle(ThttpSrv &srv)
{
    int kicked = 0;
    const QList<ThttpConn *> conns = srv.conns;
    for (ThttpConn *c : conns) {
        if (!connIsOpen(c) || c->state() != HCS_IDLE)
            continue;
        if (TconnData *d = TconnData::of(c))
            d->disconnect(QStringLiteral("kicked idle"));
        else
            c->disconnect();
        ++kicked;
    }
    return kicked;
}

int openConnectionsFrom(const ThttpSrv &srv, const QString &address)
{
    int n = 0;
    for (const ThttpConn *c : srv.conns)
        if (connIsOpen(c) && connAddressOf(c) == address)
            ++n;
    return n;
}

bool anyOpenConnection(const ThttpSrv &srv)
{
    for (const ThttpConn *c : srv.conns)
        if (connIsOpen(c))
            return true;
    return false;
}

bool pausableDownload(const ThttpConn &c)
{
    const TconnData *d = TconnData::of(&c);
    const ThttpConnState s = c.state();
    return d && d->transfer.countAsDownload && (s == HCS_REPLYING || s == HCS_REPLYING_HEADER || s == HCS_REPLYING_BODY);
}

bool togglePause(ThttpConn &c)
{
    if (!pausableDownload(c))
        return false;
    c.setPaused(!c.isPaused());
    return true;
}

QString httpRequestText(const ThttpConn &c)
{
    if (!c.request().full.isEmpty())
        return QString::fromUtf8(c.request().full);
    if (!c.buffer().isEmpty())
        return QString::fromUtf8(c.buffer());
    return QStringLiteral("(empty)");
}

bool banListHas(const Toptions &o, const QString &mask)
{
    for (const Tban &b : o.banList)
        if (b.ip == mask)
            return true;
    return false;
}

bool banPrompt(const QString &address, Tprompt &asker, Toptions &o, ThttpSrv *srv)
{
    const std::optional<QString> mask = asker.askText(
        QStringLiteral("You can edit the address.\rMasks and ranges are allowed."), QStringLiteral("Ban IP mask"), address);
    if (!mask)
        return false;
    if (banListHas(o, *mask)) {
        asker.message(QStringLiteral("This IP address is already banned"), PK_WARNING);
        return false;
    }
    const std::optional<QString> comment
        = asker.askText(QStringLiteral("A comment for this ban..."), QStringLiteral("Ban comment"), QString());
    if (!comment)
        return false;
    o.banList.append(Tban{*mask, *comment});
    if (!srv)
        return true;
    if (const int n = openConnectionsFrom(*srv, *mask); n > 0) {
        const QString q = QStringLiteral("There are %1 open connections from this address.\rDo you want to kick them all now?")
                              .arg(n);
        if (asker.question(q, PB_YES | PB_NO, PB_NO) == PB_YES)
            kickAddress(*srv, *mask);
    }
    return true;
}
