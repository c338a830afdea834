// The phase table and the phases up to the credential check: address,
// limits, URL, session, the special modes and the icons.
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
#include "serve/httpsRedirect.h"
#include "serve/protectiveHeaders.h"
#include "serve/sameSite.h"
#include "util/asciiCase.h"
#include "util/encodings.h"
#include "util/format.h"
#include "util/masks.h"
#include "vfs/account.h"

using namespace Qt::StringLiterals;

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
    cd.conn->reply().reason = QStringLiteral("Cross-site request refused");
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

// The program's order of checks. Phases that fill in the request's record
// come first; then come those that may answer before the tree is looked at,
// the credential check, resolution, and the checks on the node found.
std::span<const Tdispatch::Step> Tdispatch::phases()
{
    static constexpr Step table[] = {
        {"clientAddress", &Tdispatch::clientAddress},
        {"admission", &Tdispatch::admission},
        {"resetRecord", &Tdispatch::resetRecord},
        {"addressLimiter", &Tdispatch::addressLimiter},
        {"commonHeaders", &Tdispatch::commonHeaders},
        {"preReplyPage", &Tdispatch::preReplyPage},
        {"preFilterEvent", &Tdispatch::preFilterEvent},
        {"malformedRequest", &Tdispatch::malformedRequest},
        {"countHit", &Tdispatch::countHit},
        {"httpsRedirect", &Tdispatch::httpsRedirect},
        {"parseUrl", &Tdispatch::parseUrl},
        {"requestFacts", &Tdispatch::requestFacts},
        {"selfTest", &Tdispatch::selfTest},
        {"crossSiteCheck", &Tdispatch::crossSiteCheck},
        {"session", &Tdispatch::session},
        {"formToken", &Tdispatch::formToken},
        {"logout", &Tdispatch::logout},
        {"login", &Tdispatch::login},
        {"signedLink", &Tdispatch::signedLink},
        {"speedLimitExemption", &Tdispatch::speedLimitExemption},
        {"absolutePath", &Tdispatch::absolutePath},
        {"requestEvent", &Tdispatch::requestEvent},
        {"startReply", &Tdispatch::startReply},
        {"icons", &Tdispatch::icons},
        {"builtInScript", &Tdispatch::builtInScript},
        {"credentials", &Tdispatch::credentials},
        {"resolve", &Tdispatch::resolve},
        {"missingNode", &Tdispatch::missingNode},
        {"folderRedirect", &Tdispatch::folderRedirect},
        {"defaultFile", &Tdispatch::defaultFile},
        {"existence", &Tdispatch::existence},
        {"permission", &Tdispatch::permission},
        {"favicon", &Tdispatch::favicon},
        {"uploadForms", &Tdispatch::uploadForms},
        {"uploadResults", &Tdispatch::uploadResults},
        {"templateSection", &Tdispatch::templateSection},
        {"browsable", &Tdispatch::browsable},
        {"referer", &Tdispatch::referer},
        {"archive", &Tdispatch::archive},
        {"fileList", &Tdispatch::fileList},
        {"unknownSpecial", &Tdispatch::unknownSpecial},
        {"servedNode", &Tdispatch::servedNode},
        {"folderPage", &Tdispatch::folderPage},
        {"linkTarget", &Tdispatch::linkTarget},
        {"fileDownload", &Tdispatch::fileDownload},
    };
    return table;
}

void Tdispatch::run()
{
    for (const Step &step : phases())
        if ((this->*step.run)() == Tphase::Done)
            return;
}

// The client's address, taken from X-Forwarded-For behind a trusted proxy.
Tphase Tdispatch::clientAddress()
{
    const Toptions &o = opts();
    cd.address = conn.address();
    if (!o.forwardedMask.isEmpty() && trustedProxy(o.forwardedMask, conn.address())) {
        const QString header = conn.getHeader("X-Forwarded-For"_ba);
        const QString fwd = header.isEmpty() ? QString() : forwardedAddress(header);
        if (!fwd.isEmpty())
            cd.address = fwd;
    }
    return Tphase::Continue;
}

// Bans and overload: decided now, answered by preReplyPage.
Tphase Tdispatch::admission()
{
    s.admission().decidePreReply(cd);
    if (cd.preReply == PR_NONE)
        s.counters().addressSeen(cd.address);
    return Tphase::Continue;
}

// What the previous request on this connection left behind.
Tphase Tdispatch::resetRecord()
{
    cd.request.time = now();
    cd.transfer.downloadingWhat = DW_UNK;
    cd.logging.fullDownloadLogged = cd.transfer.countAsDownload = false;
    cd.transfer.eta.reset(); // a new transfer's speed starts from nothing
    cd.transfer.averageSpeed = 0;
    reply.contentType.clear();
    freeIfTemp(cd.transfer.lastFile);
    cd.transfer.lastFile.reset();
    return Tphase::Continue;
}

// The limiter shared by the connections of the client's address.
Tphase Tdispatch::addressLimiter()
{
    if (TspeedLimiter *l = s.perIpLimiter(cd.address)) {
        l->setLimit(speedLimitBytes(opts().speedLimitIp));
        if (!conn.limiters().contains(l))
            conn.limiters().append(l);
        reapplyCustomLimit(cd); // an address with a limit of its own keeps it
    }
    return Tphase::Continue;
}

// Headers of every reply; each reply is taken for the type it says it is.
Tphase Tdispatch::commonHeaders()
{
    // The lines for each choice of the options, joined once.
    const bool hsts = conn.isTls() && opts().httpsHsts;
    const bool identify = opts().sendZofIdentifier;
    static QByteArray joined[2][2];
    QByteArray &lines = joined[hsts][identify];
    if (lines.isEmpty()) {
        appendParts(lines, {"Accept-Ranges: bytes\r\n", noSniffHeader, "\r\n"});
        if (hsts)
            appendParts(lines, {hstsHeader, "\r\n"});
        if (identify)
            appendParts(lines, {"Server: ZOF ", zofVersion().toLatin1(), "\r\n"});
    }
    reply.addOwnHeaders(lines);
    return Tphase::Continue;
}

// The ban or overload page. The dispatch goes on regardless: the
// pre-filter event and the malformed-request check still run (and may
// replace this page), and countHit stops the dispatch after counting.
Tphase Tdispatch::preReplyPage()
{
    if (cd.preReply == PR_BAN) {
        replySpecialPage(cd, QStringLiteral("ban"));
        reply.reason = QStringLiteral("Banned: ") + cd.banReason;
    } else if (cd.preReply == PR_OVERLOAD) {
        cd.disconnectReason = QStringLiteral("limits exceeded");
        replySpecialPage(cd, QStringLiteral("overload"));
    }
    return Tphase::Continue;
}

Tphase Tdispatch::preFilterEvent()
{
    s.events().run(QStringLiteral("pre-filter-request"), &cd);
    return Tphase::Continue;
}

// Malformed user names and methods this server does not serve.
Tphase Tdispatch::malformedRequest()
{
    if (!acceptableUserName(conn.request().user)) {
        reply.mode = HRM_BAD_REQUEST;
        return Tphase::Done;
    }
    const ThttpMethod method = conn.request().method;
    if (method != HM_GET && method != HM_POST && method != HM_HEAD) {
        reply.mode = HRM_METHOD_NOT_ALLOWED;
        return Tphase::Done;
    }
    return Tphase::Continue;
}

// Every well-formed request is a hit, a refused one too; a refused one
// ends here with the page preReplyPage chose.
Tphase Tdispatch::countHit()
{
    s.counters().increment(QStringLiteral("hits-total"));
    return cd.preReply != PR_NONE ? Tphase::Done : Tphase::Continue;
}

// With the operator's choice, plain requests move to the HTTPS listener.
Tphase Tdispatch::httpsRedirect()
{
    if (conn.isTls() || !opts().httpsRedirect)
        return Tphase::Continue;
    const QString port = s.httpsPort();
    if (port.isEmpty())
        return Tphase::Continue;
    const QString location = httpsLocation(conn.getHeader("Host"), port, conn.request().url);
    if (location.isEmpty())
        return Tphase::Continue;
    reply.mode = HRM_MOVED;
    reply.url = location;
    return Tphase::Done;
}

// The decoded path and the query's variables.
Tphase Tdispatch::parseUrl()
{
    const QByteArray &url = conn.request().url;
    const qsizetype q = url.indexOf('?');
    cd.request.urlVars.clear();
    if (q >= 0)
        parseQuery(QByteArrayView(url).sliced(q + 1), cd.request.urlVars);
    fullPath = path = decodeURL(QByteArrayView(url).first(q < 0 ? url.size() : q));
    return Tphase::Continue;
}

// The mode asked for, the name last asked for and the client's program.
Tphase Tdispatch::requestFacts()
{
    mode = cd.request.urlVars.value(QStringLiteral("mode"));
    // Kept when the connection asks for the same name again: no copy.
    const QStringView name = QStringView(path).sliced(path.lastIndexOf(u'/') + 1);
    if (cd.transfer.lastFileName != name)
        cd.transfer.lastFileName = name.toString();
    cd.request.agent = recognizeAgent(conn.getHeader("User-Agent"_ba));
    return Tphase::Continue;
}

// The answer to the program's own reachability test.
Tphase Tdispatch::selfTest()
{
    if (path == QLatin1StringView("test") && s.counters().selfTestRunning()) {
        replyText(cd, QStringLiteral("ZOF OK"));
        return Tphase::Done;
    }
    return Tphase::Continue;
}

// A POST changes something (a login, an action, a deletion, an upload):
// only the site's own pages may send one. So does a logout, which the
// page's link also asks for by GET when the page runs no script.
Tphase Tdispatch::crossSiteCheck()
{
    if ((conn.request().method == HM_POST || mode == QLatin1StringView("logout")) && fromAnotherSite(conn)) {
        refuseCrossSite(cd);
        return Tphase::Done;
    }
    return Tphase::Continue;
}

// The session of the cookie or of the Basic credentials.
Tphase Tdispatch::session()
{
    return s.sessions().restore(cd) ? Tphase::Continue : Tphase::Done;
}

// A POST carries the session's form token.
Tphase Tdispatch::formToken()
{
    if (conn.request().method == HM_POST && wrongFormToken(cd)) {
        refuseCrossSite(cd);
        return Tphase::Done;
    }
    return Tphase::Continue;
}

Tphase Tdispatch::logout()
{
    if (mode != QLatin1StringView("logout"))
        return Tphase::Continue;
    cd.logout();
    replyText(cd, QStringLiteral("ok"));
    return Tphase::Done;
}

// The login form's post, answered with the outcome as text.
Tphase Tdispatch::login()
{
    if (mode != QLatin1StringView("login"))
        return Tphase::Continue;
    replyText(cd, s.sessions().checkLoginForm(cd));
    return Tphase::Done;
}

// A signed link logs its bearer in; a bad one is refused with the reason.
Tphase Tdispatch::signedLink()
{
    if (mode != QLatin1StringView("auth"))
        return Tphase::Continue;
    const QString failure = s.sessions().checkSignedLink(cd);
    if (failure.isEmpty())
        return Tphase::Continue;
    reply.mode = HRM_DENY;
    reply.contentType = "text/plain; charset=utf-8";
    reply.body = failure.toUtf8();
    reply.bodyMode = RBM_STRING;
    return Tphase::Done;
}

// An account (or one of its groups) without limits skips the speed limits.
Tphase Tdispatch::speedLimitExemption()
{
    conn.setIgnoreSpeedLimit(cd.credentials.account
                             && Taccounts::global().searchAccountAndGroups(
                                 cd.credentials.account, [](const Taccount &a) { return a.noLimits; }));
    return Tphase::Continue;
}

Tphase Tdispatch::absolutePath()
{
    if (!path.startsWith(u'/')) {
        reply.mode = HRM_BAD_REQUEST;
        return Tphase::Done;
    }
    return Tphase::Continue;
}

// The "request" event may disconnect the client or redirect it.
Tphase Tdispatch::requestEvent()
{
    const QString reasonBefore = cd.disconnectReason;
    s.events().run(QStringLiteral("request"), &cd);
    if (!cd.disconnectReason.isEmpty() && cd.disconnectReason != reasonBefore) {
        replySpecialPage(cd, QStringLiteral("deny"));
        return Tphase::Done;
    }
    return reply.mode == HRM_REDIRECT ? Tphase::Done : Tphase::Continue;
}

// From here on the request is answered: a HEAD with the headers only.
Tphase Tdispatch::startReply()
{
    s.noteNetworkActivity();
    reply.mode = conn.request().method == HM_HEAD ? HRM_REPLY_HEADER : HRM_REPLY;
    return Tphase::Continue;
}

// The built-in icons and the traffic graph under "/~img".
Tphase Tdispatch::icons()
{
    if (!path.startsWith(QLatin1String("/~img")))
        return Tphase::Continue;
    const int index = iconIndexFor(path.mid(5));
    if (index == -2) {
        const QByteArray graph = s.counters().graphPicture();
        if (!graph.isEmpty()) {
            reply.contentType = "image/gif";
            reply.body = graph;
            reply.bodyMode = RBM_STRING;
            cd.transfer.downloadingWhat = DW_ICON;
            return Tphase::Done;
        }
    }
    if (index < 0)
        replySpecialPage(cd, QStringLiteral("not found"));
    else
        replyIcon(index);
    return Tphase::Done;
}

// The built-in jQuery, tagged with the program's start.
Tphase Tdispatch::builtInScript()
{
    if (mode != QLatin1StringView("jquery"))
        return Tphase::Continue;
    const QString tag = QStringLiteral("jquery") + formatFloat(s.uptimeBase(), 10);
    conn.addHeader("ETag: " + tag.toLatin1(), true);
    if (ifNoneMatch(conn.getHeader("If-None-Match"_ba), tag)) {
        reply.mode = HRM_NOT_MODIFIED;
        return Tphase::Done;
    }
    reply.contentType = "text/javascript";
    reply.body = jqueryBytes();
    reply.bodyMode = RBM_STRING;
    compressReply(cd);
    return Tphase::Done;
}

// Credentials that match no account are refused before the tree is looked at.
Tphase Tdispatch::credentials()
{
    if (opts().freeLogin)
        return Tphase::Continue;
    if (!cd.credentials.user.isEmpty()
        && !s.sessions().credentialsMatch(cd.credentials.user, cd.credentials.password)) {
        cd.credentials.accepted = false;
        s.events().run(QStringLiteral("unauthorized"), &cd);
        replySpecialPage(cd, QStringLiteral("unauth"));
        reply.realm = QStringLiteral("Invalid login");
        return Tphase::Done;
    }
    cd.credentials.accepted = true;
    return Tphase::Continue;
}

void Tdispatch::replyIcon(int index)
{
    reply.contentType = "image/gif";
    reply.body = iconGif(index);
    reply.bodyMode = RBM_STRING;
    cd.transfer.downloadingWhat = DW_ICON;
    cd.transfer.lastFileName = fullPath.mid(1, 1000);
}

void dispatchRequest(TconnData &cd)
{
    Tdispatch(cd).run();
}
