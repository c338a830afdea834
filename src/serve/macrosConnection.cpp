// Macros that steer connections: their downloads, disconnection, upload
// refusal, the template of their pages and their speed limits.

#include "serve/macrosRequestTools.h"

#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "http/speedLimiter.h"
#include "script/macroLib.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "serve/connData.h"
#include "serve/perIp.h"
#include "serve/serve.h"
#include "util/asciiCase.h"
#include "util/masks.h"

namespace {

bool isReplying(const ThttpConn &c)
{
    const ThttpConnState s = c.state();
    return s == HCS_REPLYING || s == HCS_REPLYING_HEADER || s == HCS_REPLYING_BODY;
}

void currentDownloads(TmacroCall &c)
{
    TdownloadFilter f;
    f.ipMask = c.named(QStringLiteral("ip"));
    f.user = c.named(QStringLiteral("user"));
    if (sameText(c.named(QStringLiteral("file")), "this")) {
        f.fileFilter = true;
        f.file = c.md.f;
    }
    c.result = QString::number(countCurrentDownloads(serve(), f));
}

void disconnectionReason(TmacroCall &c)
{
    TconnData *cd = connOrError(c);
    if (!cd)
        return;
    const auto cond = c.namedRaw(QStringLiteral("if"));
    if (cond && !macroIsTrue(cond->trimmed())) {
        c.result.clear();
        return;
    }
    c.result = cd->disconnectReason;
    // The new reason is the first parameter that is not the condition, so
    // a lone "if" leaves the reason as it is.
    int k = 0;
    if (cond && c.count() > 0 && startsWithText(c.raw(0).trimmed(), u"if="))
        k = 1;
    if (k < c.count())
        cd->disconnectReason = c.par(k);
}

void disconnect(TmacroCall &c)
{
    if (c.count() == 0) {
        TconnData *cd = connOrError(c);
        if (!cd)
            return;
        c.result.clear();
        if (cd->conn)
            cd->conn->disconnect();
        return;
    }
    const QString ip = c.parOrNamed(0, QStringLiteral("ip")).value_or(QString());
    if (ip.isEmpty())
        return; // nothing to match: the error text stays
    disconnectMatching(serve(), ip, c.parOrNamed(1, QStringLiteral("port")).value_or(QString()));
    c.result.clear();
}

void uploadFailed(TmacroCall &c)
{
    if (TconnData *cd = connOrError(c)) {
        cd->upload.failure = c.par(0);
        c.result.clear();
    }
}

void loadTpl(TmacroCall &c)
{
    if (TconnData *cd = connOrError(c)) {
        cd->tpl = templateFromFile(c.par(0));
        c.result.clear();
    }
}

void dropOwnLimiter(TconnData &cd)
{
    if (!cd.limiter)
        return;
    if (cd.conn) {
        cd.conn->limiters().removeAll(cd.limiter.get());
        cd.conn->server()->limiters.removeAll(cd.limiter.get());
    }
    cd.limiter.reset();
}

void connectionLimit(TmacroCall &c)
{
    TconnData *cd = connOrError(c);
    if (!cd)
        return;
    const auto kb = parseMacroFloat(c.par(0));
    if (!kb) {
        dropOwnLimiter(*cd);
        c.fail();
    }
    setConnectionSpeedLimit(*cd, *kb);
    c.result.clear();
}

void addressLimit(TmacroCall &c)
{
    if (c.count() == 1)
        TperIp::global().setAddressLimit(serve(), QString(), c.floatPar(0));
    else if (const QString address = c.par(0); !address.isEmpty())
        TperIp::global().setAddressLimit(serve(), address, c.floatPar(1));
    c.result.clear();
}

} // namespace

int countCurrentDownloads(Tserve &s, const TdownloadFilter &filter)
{
    int n = 0;
    for (const ThttpConn *conn : std::as_const(s.srv().conns)) {
        const TconnData *d = TconnData::of(conn);
        if (!d || !d->transfer.countAsDownload || !isReplying(*conn))
            continue;
        if (!filter.ipMask.isEmpty() && !matchAddressMask(filter.ipMask, d->address))
            continue;
        if (!filter.user.isEmpty() && !sameText(d->user(), filter.user))
            continue;
        if (filter.fileFilter && !(d->transfer.lastFile && d->transfer.lastFile->same(filter.file)))
            continue;
        ++n;
    }
    return n;
}

int disconnectMatching(Tserve &s, const QString &ipMask, const QString &portMask)
{
    // Matching first, closing after: a close may report events that touch
    // the list, so each chosen connection is looked up again before use.
    QList<ThttpConn *> chosen;
    for (ThttpConn *conn : std::as_const(s.srv().conns)) {
        const TconnData *d = TconnData::of(conn);
        const QString address = d && !d->address.isEmpty() ? d->address : conn->address();
        if (!matchAddressMask(ipMask, address))
            continue;
        if (!portMask.isEmpty() && !matchFileMask(portMask, conn->port()))
            continue;
        chosen.append(conn);
    }
    int n = 0;
    for (ThttpConn *conn : std::as_const(chosen)) {
        if (!s.srv().conns.contains(conn))
            continue;
        conn->disconnect();
        ++n;
    }
    return n;
}

void registerConnectionMacros(TmacroRegistry &r)
{
    r.add(QStringLiteral("current downloads"), 0, currentDownloads);
    r.add(QStringLiteral("disconnection reason"), 0, disconnectionReason);
    r.add(QStringLiteral("disconnect"), 0, disconnect);
    r.add(QStringLiteral("upload failed"), 1, uploadFailed);
    r.add(QStringLiteral("load tpl"), 1, loadTpl);
    r.add(QStringLiteral("set speed limit for connection"), 1, connectionLimit);
    r.add(QStringLiteral("set speed limit for address"), 1, addressLimit);
}
