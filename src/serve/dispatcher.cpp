// The dispatch up to the credential check: address, limits, URL, session,
// the special modes and the icons.
#include "serve/dispatcher.h"
#include "serve/admission.h"

#include "config/options.h"
#include "config/version.h"
#include "http/speedLimiter.h"
#include "log/log.h"
#include "serve/clientInfo.h"
#include "serve/dispatch.h"
#include "serve/fileDownload.h"
#include "serve/icons.h"
#include "serve/logPeer.h"
#include "serve/pageReply.h"
#include "serve/perIp.h"
#include "serve/protectiveHeaders.h"
#include "serve/sameSite.h"
#include "util/asciiCase.h"
#include "util/encodings.h"
#include "util/format.h"
#include "util/masks.h"
#include "vfs/account.h"

namespace {

constexpr qsizetype maxQueryValue = 1000;

QString decodedQueryPart(QByteArrayView bytes)
{
    QByteArray b = bytes.toByteArray();
    b.replace('+', ' ');
    return decodeURL(QByteArrayView(b)).left(maxQueryValue);
}

// Whether the proxy mask takes the address. The last answer is kept: the
// mask changes with the options only, and one client sends many requests.
bool trustedProxy(const QString &mask, const QString &address)
{
    static QString lastMask, lastAddress;
    static bool lastAnswer = false;
    if (mask == lastMask && address == lastAddress && !lastMask.isNull())
        return lastAnswer;
    lastAnswer = matchAddressMask(mask, address);
    lastMask = mask;
    lastAddress = address;
    return lastAnswer;
}

void refuseCrossSite(TconnData &cd)
{
    if (opts().logOthers)
        add2log(QStringLiteral("Cross-site request refused"), logPeer(cd.conn));
    replySpecialPage(cd, QStringLiteral("deny"));
    cd.conn->reply.reason = QStringLiteral("Cross-site request refused");
}

} // namespace

void parseQuery(QByteArrayView query, TnameValueList &out)
{
    qsizetype from = 0;
    while (from <= query.size()) {
        qsizetype amp = query.indexOf('&', from);
        if (amp < 0)
            amp = query.size();
        const QByteArrayView entry = query.sliced(from, amp - from);
        from = amp + 1;
        if (entry.isEmpty())
            continue;
        // Split before decoding, so that an encoded '=' stays in the value.
        const qsizetype eq = entry.indexOf('=');
        if (eq < 0) {
            out.parse(decodedQueryPart(entry).remove(u'&'));
            continue;
        }
        out.append(decodedQueryPart(entry.first(eq)), decodedQueryPart(entry.sliced(eq + 1)));
    }
}

bool acceptableUserName(const QString &user)
{
    if (user.size() > 100)
        return false;
    for (QChar c : user)
        if (QStringView(u"/\\:?*<>|").contains(c))
            return false;
    return true;
}

bool Tdispatch::beforeResolution()
{
    const Toptions &o = opts();
    // 1. The client's address behind a trusted proxy.
    cd.address = conn.P_address;
    if (!o.forwardedMask.isEmpty() && trustedProxy(o.forwardedMask, conn.P_address)) {
        const QString header = conn.getHeader(QByteArrayView("X-Forwarded-For"));
        const QString fwd = header.isEmpty() ? QString() : forwardedAddress(header);
        if (!fwd.isEmpty())
            cd.address = fwd;
    }
    // 2. Bans and overload.
    s.admission().decidePreReply(cd);
    if (cd.preReply == PR_NONE)
        s.counters().addressSeen(cd.address);
    // 3. Per-request reset.
    cd.requestTime = now();
    cd.downloadingWhat = DW_UNK;
    cd.fullDLlogged = cd.countAsDownload = false;
    reply.contentType.clear();
    freeIfTemp(cd.FlastFile);
    cd.FlastFile.reset();
    // 4. The address's own limiter.
    if (TspeedLimiter *l = s.perIpLimiter(cd.address)) {
        l->setLimit(speedLimitBytes(o.speedLimitIp));
        if (!conn.limiters.contains(l))
            conn.limiters.append(l);
        reapplyCustomLimit(cd); // an address with a limit of its own keeps it
    }
    // 5. Every reply is taken for the type it says it is.
    conn.addHeader("Accept-Ranges: bytes", true);
    addNoSniff(reply);
    if (o.sendZofIdentifier) {
        static const QByteArray serverLine = "Server: ZOF " + zofVersion().toLatin1();
        conn.addHeader(serverLine, true);
    }
    // 6.
    if (cd.preReply == PR_BAN) {
        replySpecialPage(cd, QStringLiteral("ban"));
        reply.reason = QStringLiteral("Banned: ") + cd.banReason;
    } else if (cd.preReply == PR_OVERLOAD) {
        cd.disconnectReason = QStringLiteral("limits exceeded");
        replySpecialPage(cd, QStringLiteral("overload"));
    }
    // 7.
    s.events().run(QStringLiteral("pre-filter-request"), &cd);
    // 8-9. Malformed user names and unknown methods.
    if (!acceptableUserName(conn.request.user)) {
        reply.mode = HRM_BAD_REQUEST;
        return false;
    }
    const ThttpMethod method = conn.request.method;
    if (method != HM_GET && method != HM_POST && method != HM_HEAD) {
        reply.mode = HRM_METHOD_NOT_ALLOWED;
        return false;
    }
    // 10.
    s.counters().increment(QStringLiteral("hits-total"));
    if (cd.preReply != PR_NONE)
        return false;
    // 11. URL and query.
    const QByteArray &url = conn.request.url;
    const qsizetype q = url.indexOf('?');
    cd.urlvars.clear();
    if (q >= 0)
        parseQuery(QByteArrayView(url).sliced(q + 1), cd.urlvars);
    fullPath = path = decodeURL(QByteArrayView(url).first(q < 0 ? url.size() : q));
    // 12.
    mode = cd.urlvars.value(QStringLiteral("mode"));
    cd.lastFN = path.mid(path.lastIndexOf(u'/') + 1);
    cd.agent = recognizeAgent(conn.getHeader(QByteArrayView("User-Agent")));
    // 13.
    if (path == u"test" && s.counters().selfTestRunning()) {
        replyText(cd, QStringLiteral("ZOF OK"));
        return false;
    }
    // A POST changes something (a login, an action, a deletion, an upload):
    // only the site's own pages may send one. So does a logout, which the
    // page's link also asks for by GET when the page runs no script.
    if ((method == HM_POST || mode == u"logout") && fromAnotherSite(conn)) {
        refuseCrossSite(cd);
        return false;
    }
    // 14-16. Session, login, logout, signed links.
    if (!s.sessions().restore(cd))
        return false;
    if (method == HM_POST && wrongFormToken(cd)) {
        refuseCrossSite(cd);
        return false;
    }
    if (mode == u"logout") {
        cd.logout();
        replyText(cd, QStringLiteral("ok"));
        return false;
    }
    if (mode == u"login") {
        replyText(cd, s.sessions().checkLoginForm(cd));
        return false;
    }
    if (mode == u"auth") {
        const QString failure = s.sessions().checkSignedLink(cd);
        if (!failure.isEmpty()) {
            reply.mode = HRM_DENY;
            reply.contentType = "text/plain; charset=utf-8";
            reply.body = failure.toUtf8();
            reply.bodyMode = RBM_STRING;
            return false;
        }
    }
    // 17.
    conn.ignoreSpeedLimit = cd.account
        && Taccounts::global().searchAccountAndGroups(cd.account, [](const Taccount &a) { return a.noLimits; });
    // 18.
    if (!path.startsWith(u'/')) {
        reply.mode = HRM_BAD_REQUEST;
        return false;
    }
    // 19.
    const QString reasonBefore = cd.disconnectReason;
    s.events().run(QStringLiteral("request"), &cd);
    if (!cd.disconnectReason.isEmpty() && cd.disconnectReason != reasonBefore) {
        replySpecialPage(cd, QStringLiteral("deny"));
        return false;
    }
    if (reply.mode == HRM_REDIRECT)
        return false;
    // 20.
    s.noteNetworkActivity();
    reply.mode = method == HM_HEAD ? HRM_REPLY_HEADER : HRM_REPLY;
    // 21. Icons.
    if (path.startsWith(QLatin1String("/~img")))
        return iconRequest(path.mid(5));
    // 22. The built-in jQuery.
    if (mode == u"jquery") {
        const QString tag = QStringLiteral("jquery") + formatFloat(s.uptimeBase(), 10);
        conn.addHeader("ETag: " + tag.toLatin1(), true);
        if (ifNoneMatch(conn.getHeader(QByteArrayView("If-None-Match")), tag)) {
            reply.mode = HRM_NOT_MODIFIED;
            return false;
        }
        reply.contentType = "text/javascript";
        reply.body = jqueryBytes();
        reply.bodyMode = RBM_STRING;
        compressReply(cd);
        return false;
    }
    // 23. Credentials that match nothing.
    if (!opts().freeLogin) {
        if (!cd.fUser.isEmpty() && !s.sessions().credentialsMatch(cd.fUser, cd.fPwd)) {
            cd.acceptedCredentials = false;
            s.events().run(QStringLiteral("unauthorized"), &cd);
            replySpecialPage(cd, QStringLiteral("unauth"));
            reply.realm = QStringLiteral("Invalid login");
            return false;
        }
        cd.acceptedCredentials = true;
    }
    return true;
}

bool Tdispatch::iconRequest(const QString &after)
{
    const int index = iconIndexFor(after);
    if (index == -2) {
        const QByteArray graph = s.counters().graphPicture();
        if (!graph.isEmpty()) {
            reply.contentType = "image/gif";
            reply.body = graph;
            reply.bodyMode = RBM_STRING;
            cd.downloadingWhat = DW_ICON;
            return false;
        }
    }
    if (index < 0) {
        replySpecialPage(cd, QStringLiteral("not found"));
        return false;
    }
    replyIcon(index);
    return false;
}

void Tdispatch::replyIcon(int index)
{
    reply.contentType = "image/gif";
    reply.body = iconGif(index);
    reply.bodyMode = RBM_STRING;
    cd.downloadingWhat = DW_ICON;
    cd.lastFN = fullPath.mid(1, 1000);
}

void dispatchRequest(TconnData &cd)
{
    Tdispatch d(cd);
    if (d.beforeResolution())
        d.resolveAndAnswer();
}
