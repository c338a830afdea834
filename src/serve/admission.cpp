#include "serve/admission.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "http/speedLimiter.h"
#include "serve/connData.h"
#include "serve/pageReply.h"
#include "serve/perIp.h"
#include "serve/serve.h"
#include "util/masks.h"
#include "vfs/account.h"
#include "vfs/file.h"

#include <QSet>

#include <cmath>

namespace {

bool sameNode(const Tfile *a, const Tfile *b)
{
    return a && b && a->same(b);
}

bool replying(ThttpConnState s)
{
    return s == HCS_REPLYING || s == HCS_REPLYING_HEADER || s == HCS_REPLYING_BODY;
}

bool hasNoLimits(const Taccount *account)
{
    return account
        && Taccounts::global().searchAccountAndGroups(account, [](const Taccount &a) { return a.noLimits; });
}

} // namespace

TconnCounts countConnections(const QList<TadmissionConn> &conns, const QString &address, bool distinct)
{
    TconnCounts n;
    QSet<QString> ips;
    for (const TadmissionConn &c : conns) {
        ++n.all;
        n.fromAddress += c.address == address;
        if (distinct)
            ips.insert(c.address);
    }
    n.addresses = ips.size();
    return n;
}

TconnCounts countConnections(const ThttpSrv &srv, const TconnData &self, bool distinct)
{
    TconnCounts n{1, 1, 0};
    QSet<QString> ips;
    if (distinct) {
        ips.reserve(64);
        ips.insert(self.address);
    }
    for (const ThttpConn *c : srv.conns) {
        const TconnData *d = TconnData::of(c);
        if (d == &self)
            continue;
        const QString &a = d ? d->address : c->address();
        ++n.all;
        n.fromAddress += a == self.address;
        if (distinct)
            ips.insert(a);
    }
    n.addresses = ips.size();
    return n;
}

bool isOverloaded(const Toptions &o, const TconnCounts &n)
{
    return (o.maxConnections > 0 && n.all > o.maxConnections)
        || (o.maxConnectionsByIp > 0 && n.fromAddress > o.maxConnectionsByIp)
        || (o.maxIps > 0 && n.addresses > o.maxIps);
}

bool isOverloaded(const Toptions &o, const QList<TadmissionConn> &conns, const QString &address)
{
    return isOverloaded(o, countConnections(conns, address, o.maxIps > 0));
}

const Tban *findBan(const QList<Tban> &bans, const QString &address)
{
    if (address.isEmpty())
        return nullptr;
    for (const Tban &b : bans)
        if (!b.ip.isEmpty() && matchAddressMask(b.ip, address))
            return &b;
    return nullptr;
}

QString downloadRefusal(const Toptions &o, const QList<TadmissionConn> &others, const QString &address,
                        const Tfile *file)
{
    qint64 all = 1, fromAddress = 1, sameFile = 0;
    QSet<QString> ips{address};
    for (const TadmissionConn &c : others) {
        if (!c.downloading)
            continue;
        ++all;
        ips.insert(c.address);
        if (c.address != address)
            continue;
        ++fromAddress;
        if (sameNode(c.file, file))
            ++sameFile;
    }
    if (o.maxContemporaryDls > 0 && all > o.maxContemporaryDls)
        return QStringLiteral("Max simultaneous downloads");
    if (o.maxContemporaryDlsIp > 0 && fromAddress > o.maxContemporaryDlsIp)
        return QStringLiteral("Max simultaneous downloads");
    if (o.maxIpsDownloading > 0 && ips.size() > o.maxIpsDownloading)
        return QStringLiteral("Max simultaneous addresses downloading");
    // The one asking makes the second download of the same node.
    if (o.preventLeeching && file && sameFile >= 1)
        return QStringLiteral("Leeching");
    return {};
}

qint64 speedLimitBytes(double kbPerSecond)
{
    if (!(kbPerSecond >= 0)) // negative or NaN
        return TspeedLimiter::unlimited;
    const double bytes = std::round(kbPerSecond * 1000.0);
    return bytes >= double(TspeedLimiter::unlimited) ? TspeedLimiter::unlimited : qint64(bytes);
}

QList<TadmissionConn> admissionSnapshot(const ThttpSrv &srv, const TconnData *except, bool downloadsOnly)
{
    QList<TadmissionConn> out;
    if (!downloadsOnly)
        out.reserve(srv.conns.size());
    for (const ThttpConn *c : srv.conns) {
        // Asked on every download: a connection between requests (most of
        // them) costs only a look at its state.
        const bool replyingNow = replying(c->state());
        if (downloadsOnly && !replyingNow)
            continue;
        const TconnData *d = TconnData::of(c);
        if (d && d == except)
            continue;
        const bool downloading = d && d->transfer.countAsDownload && replyingNow;
        if (downloadsOnly && !downloading)
            continue;
        out.append({d ? d->address : c->address(), downloading, d ? d->transfer.lastFile.data() : nullptr});
    }
    return out;
}

void TadmissionRules::decidePreReply(TconnData &cd)
{
    Tserve &s = serve();
    if (s.counters().selfTestRunning())
        return;
    const Toptions &o = opts();
    // The account known now: none at connection time, the previous
    // request's on a kept-alive connection.
    // Walking every connection costs time on each request: only when a
    // connection limit is set.
    const bool limited = o.maxConnections > 0 || o.maxConnectionsByIp > 0 || o.maxIps > 0;
    if (limited && cd.preReply != PR_OVERLOAD && !hasNoLimits(cd.credentials.account)
        && isOverloaded(o, countConnections(s.srv(), cd, o.maxIps > 0)))
        cd.preReply = PR_OVERLOAD;
    cd.banReason.clear();
    if (const Tban *b = findBan(o.banList, cd.address)) {
        cd.banReason = b->comment;
        cd.disconnectReason = QStringLiteral("banned");
        cd.preReply = PR_BAN;
        if (o.noReplyBan && cd.conn)
            cd.conn->reply().mode = HRM_CLOSE;
    }
}

bool TadmissionRules::allowDownload(TconnData &cd)
{
    Tserve &s = serve();
    // The dispatcher has just set the address's limiter to the common
    // limit: an address with a limit of its own gets it back.
    reapplyCustomLimit(cd);
    cd.disconnectReason.clear();
    const Toptions &o = opts();
    const bool limited = o.maxContemporaryDls > 0 || o.maxContemporaryDlsIp > 0
        || o.maxIpsDownloading > 0 || o.preventLeeching;
    const bool exempt = !limited || (cd.conn && cd.conn->ignoresSpeedLimit());
    const QString byRules = exempt
        ? QString()
        : downloadRefusal(o, admissionSnapshot(s.srv(), &cd, true), cd.address, cd.transfer.lastFile.data());
    cd.disconnectReason = byRules;
    s.events().run(QStringLiteral("download"), &cd);
    if (cd.disconnectReason.isEmpty())
        return true;
    cd.transfer.countAsDownload = false;
    replySpecialPage(cd, cd.disconnectReason == byRules ? QStringLiteral("max contemp downloads")
                                                        : QStringLiteral("deny"));
    return false;
}
