// The session table, session ids and the login checks.
#include "serve/session.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "log/log.h"
#include "serve/clientInfo.h"
#include "serve/logPeer.h"
#include "serve/pageReply.h"
#include "serve/serve.h"
#include "serve/treeAccess.h"
#include "util/addresses.h"
#include "util/service.h"
#include "util/encodings.h"
#include "vfs/account.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <utility>

TsessionTable &TsessionTable::global()
{
    return Tservice<TsessionTable>::get();
}

TsessionEntry *TsessionTable::find(const QString &id)
{
    const auto it = table.find(id);
    return it == table.end() ? nullptr : &it.value();
}

void TsessionTable::setLimits(qint64 total, qint64 anonymousByAddress)
{
    maxTotal = total > 0 ? total : defaultMaxSessions;
    maxAnonymousByAddress = anonymousByAddress > 0 ? anonymousByAddress : defaultMaxAnonymousByAddress;
}

TsessionEntry *TsessionTable::create(const QString &ip, const QString &id)
{
    QString key = id;
    if (key.isEmpty()) {
        do
            key = newSessionId();
        while (table.contains(key));
    } else if (table.contains(key)) {
        return nullptr;
    }
    TsessionEntry e;
    e.s.id = key;
    e.s.ttl = 1;
    e.created = now();
    e.s.expires = e.created + e.s.ttl;
    e.ip = ip;
    e.addressKey = sessionAddressKey(ip);
    capAnonymous(e.addressKey);
    if (table.size() >= maxTotal)
        makeRoom();
    anonymousByAddress[e.addressKey].append(key);
    return &table.insert(key, e).value();
}

void TsessionTable::remove(const QString &id)
{
    table.remove(id);
}

void TsessionTable::clear()
{
    table.clear();
    anonymousByAddress.clear();
}

int TsessionTable::purge(TdateTime at)
{
    int n = 0;
    for (auto it = table.begin(); it != table.end();) {
        if (it->s.expires < at) {
            it = table.erase(it);
            ++n;
        } else {
            ++it;
        }
    }
    if (n)
        reindexAnonymous();
    return n;
}

bool TsessionTable::isAnonymousOf(const QString &id, const QString &key) const
{
    const auto it = table.constFind(id);
    return it != table.cend() && it->s.user.isEmpty() && it->addressKey == key;
}

void TsessionTable::capAnonymous(const QString &key)
{
    const auto it = anonymousByAddress.find(key);
    if (it == anonymousByAddress.end())
        return;
    QList<QString> &ids = *it;
    while (!ids.isEmpty() && (ids.size() >= maxAnonymousByAddress || !isAnonymousOf(ids.first(), key))) {
        const QString id = ids.takeFirst();
        if (isAnonymousOf(id, key))
            table.remove(id);
    }
}

void TsessionTable::reindexAnonymous()
{
    QHash<QString, QList<QPair<TdateTime, QString>>> byKey;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        if (it->s.user.isEmpty())
            byKey[it->addressKey].append({it->created, it.key()});
    anonymousByAddress.clear();
    for (auto it = byKey.begin(); it != byKey.end(); ++it) {
        std::sort(it->begin(), it->end());
        QList<QString> &ids = anonymousByAddress[it.key()];
        ids.reserve(it->size());
        for (const auto &p : std::as_const(*it))
            ids.append(p.second);
    }
}

void TsessionTable::makeRoom()
{
    // Drop a tenth at once so that a flood does not sort on every request:
    // anonymous sessions first, the earliest to expire first.
    QList<QPair<TdateTime, QString>> anon, named;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        (it->s.user.isEmpty() ? anon : named).append({it->s.expires, it.key()});
    const qsizetype want = qMax<qsizetype>(1, maxTotal / 10);
    std::sort(anon.begin(), anon.end());
    std::sort(named.begin(), named.end());
    qsizetype dropped = 0;
    for (const auto &p : std::as_const(anon)) {
        if (dropped >= want)
            break;
        table.remove(p.second);
        ++dropped;
    }
    for (const auto &p : std::as_const(named)) {
        if (dropped >= want)
            break;
        table.remove(p.second);
        ++dropped;
    }
    reindexAnonymous();
}

QString sessionAddressKey(const QString &ip)
{
    if (!ip.contains(u':'))
        return ip;
    const QString v6 = ipv6Key(ip);
    return v6.isEmpty() ? ip : v6.left(16) + QStringLiteral("/64");
}

QString newSessionId()
{
    // 22 letters and digits from the system's generator: about 131 bits,
    // where a time stamp and a random double would give some 52 unknown bits.
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    constexpr int idLength = 22;
    QString id;
    id.reserve(idLength);
    while (id.size() < idLength) {
        const quint32 word = QRandomGenerator::system()->generate();
        for (int shift = 0; shift < 32 && id.size() < idLength; shift += 8) {
            const quint32 b = (word >> shift) & 0xFF;
            if (b < 248) // 248 = 4 * 62: every character equally likely
                id += QLatin1Char(alphabet[b % 62]);
        }
    }
    return id;
}

bool usableSessionId(const QString &id)
{
    if (id.size() <= 9 || id.size() > 100)
        return false;
    for (QChar c : id) {
        const ushort u = c.unicode();
        if (!((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')))
            return false;
    }
    return true;
}

bool constTimeEqual(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    ushort diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= a.at(i).unicode() ^ b.at(i).unicode();
    return diff == 0;
}

bool loginPasswordMatches(const QString &accountPwd, const QString &sessionId, const QString &plain,
                          const QString &sha256, const QString &md5)
{
    if (!sha256.isEmpty() && constTimeEqual(sha256, sha256Hex(sha256Hex(accountPwd) + sessionId)))
        return true;
    if (!md5.isEmpty() && constTimeEqual(md5, md5Hex(md5Hex(accountPwd) + sessionId)))
        return true;
    return constTimeEqual(plain, accountPwd);
}

bool signatureMatches(QByteArrayView rawQuery, const QString &accountPwd)
{
    const qsizetype at = rawQuery.indexOf(QByteArrayView("&s2="));
    if (at < 0)
        return false;
    const QByteArrayView signedPart = rawQuery.first(at);
    const QString sign = QString::fromLatin1(rawQuery.sliced(at + 4));
    const QString expected = sha256Hex(QString::fromUtf8(signedPart) + accountPwd);
    return constTimeEqual(sign, expected);
}

QString redirectTarget(const QString &redir)
{
    if (redir.isEmpty() || redir.contains(QLatin1String("://")))
        return redir;
    QString r = redir;
    r.replace(u'\\', u'/');
    if (!r.startsWith(u'/'))
        r.prepend(u'/');
    return r;
}

namespace {

constexpr TdateTime purgeInterval = 60 * oneSecond;
TdateTime lastPurge = 0;

// Hex digests from clients may come in upper case.
QString lowerHex(const QString &s)
{
    QString r = s;
    for (QChar &c : r)
        if (c >= u'A' && c <= u'F')
            c = QChar(c.unicode() + 32);
    return r;
}

const Taccount *userAccount(const QString &name)
{
    return name.isEmpty() ? nullptr : Taccounts::global().getAccount(name);
}

const Taccount *accountWithRedir(const Taccount *a)
{
    return Taccounts::global().searchAccountAndGroups(a, [](const Taccount &x) { return !x.redir.isEmpty(); });
}

// A request that may end in a folder page, where a pending redirect is
// answered: its path names a folder.
bool mayUseRedirect(const ThttpConn &conn)
{
    if (conn.request().method == HM_HEAD)
        return false;
    const QByteArray &url = conn.request().url;
    const qsizetype q = url.indexOf('?');
    return (q < 0 ? url : url.first(q)).endsWith('/');
}

// The session id the request names: its cookie, else its URL's. A client
// sends the same Cookie line request after request; the id read from it is
// kept with the record, so a kept-alive connection parses it once.
QString namedSessionId(TconnData &cd)
{
    TconnData::Credentials &c = cd.credentials;
    const QByteArray line = cd.conn->request().getHeaderA("cookie");
    if (line != c.cookieLine) {
        c.cookieLine = line;
        c.cookieSessionId = line.isEmpty() ? QString() : cd.conn->getCookie(SESSION_COOKIE);
    }
    return c.cookieSessionId.isEmpty() ? cd.request.urlVars.value(SESSION_COOKIE) : c.cookieSessionId;
}

// Only a session nobody logged in, with no redirect pending, is lent to a
// request that names none.
bool isLendable(const Tsession &s)
{
    return s.user.isEmpty() && s.redirect.isEmpty();
}

// The record's copy of the session. The pending redirect lives in the table
// (any connection of the client may come for it) and moves to the record
// only for a request that can answer it.
void copyToRecord(TconnData &cd, TsessionEntry &e)
{
    if (!cd.credentials.session)
        cd.credentials.session = std::make_unique<Tsession>();
    Tsession &s = *cd.credentials.session;
    // What the previous request of this connection did not use goes back.
    if (!s.redirect.isEmpty() && s.id == e.s.id && e.s.redirect.isEmpty())
        e.s.redirect = s.redirect;
    s = e.s;
    s.redirect.clear();
    if (mayUseRedirect(*cd.conn))
        s.redirect = std::exchange(e.s.redirect, QString());
}

// Whether the request has a session of its own that the table holds: a
// login binds only such a one (a lent session is another client's, and one
// the table dropped would be forgotten by the connection's next request).
bool ownStoredSession(const TconnData &cd)
{
    return cd.credentials.session && !cd.credentials.sessionLent
        && TsessionTable::global().find(cd.credentials.session->id);
}

template <typename F>
void forEachRecord(F f)
{
    if (!serveExists())
        return;
    for (ThttpConn *c : std::as_const(serve().srv().conns))
        if (TconnData *cd = TconnData::of(c))
            f(*cd);
}

} // namespace

void TsessionManager::purgeNow()
{
    lastPurge = now();
    TsessionTable &t = TsessionTable::global();
    // Records renew their copy on every event; carry that into the table.
    forEachRecord([&](TconnData &cd) {
        if (!cd.credentials.session)
            return;
        if (TsessionEntry *e = t.find(cd.credentials.session->id))
            e->s.expires = qMax(e->s.expires, cd.credentials.session->expires);
    });
    t.purge(lastPurge);
    forEachRecord([&](TconnData &cd) {
        if (cd.credentials.session && !t.find(cd.credentials.session->id))
            cd.credentials.session.reset();
    });
}

void TsessionManager::freeSession(QString id)
{
    TsessionTable::global().remove(id);
    forEachRecord([&](TconnData &cd) {
        if (cd.credentials.session && cd.credentials.session->id == id)
            cd.credentials.session.reset();
    });
}

void dropSessionCookie(ThttpConn &conn)
{
    conn.setCookie(SESSION_COOKIE, QString(),
                   {{QStringLiteral("expires"), QStringLiteral("Thu, 01-Jan-70 00:00:01 GMT")},
                    {QStringLiteral("path"), QStringLiteral("/")}},
                   QStringLiteral("HttpOnly"));
}

void TsessionManager::startSession(TconnData &cd)
{
    ThttpConn &conn = *cd.conn;
    copyToRecord(cd, *TsessionTable::global().create(conn.address()));
    conn.setCookie(SESSION_COOKIE, cd.credentials.session->id, {{QStringLiteral("path"), QStringLiteral("/")}},
                   QStringLiteral("HttpOnly"));
}

void TsessionManager::startOwnSession(TconnData &cd)
{
    cd.credentials.session.reset();
    cd.credentials.sessionLent = false;
    startSession(cd);
}

bool TsessionManager::restore(TconnData &cd)
{
    ThttpConn &conn = *cd.conn;
    TsessionTable &t = TsessionTable::global();
    const Toptions &o = opts();
    t.setLimits(o.maxSessions, o.maxAnonymousSessionsByIp);
    cd.credentials.user.clear();
    cd.credentials.password.clear();
    const QString id = namedSessionId(cd);
    if (cd.credentials.session) {
        TsessionEntry *e = t.find(cd.credentials.session->id);
        if (e)
            e->s.expires = qMax(e->s.expires, cd.credentials.session->expires);
        if (e && (cd.credentials.sessionBound || cd.credentials.session->id == id)) {
            // Another connection may have logged this session in or out.
            copyToRecord(cd, *e);
        } else if (e && id.isEmpty() && isLendable(e->s) && isLendable(*cd.credentials.session)) {
            // A request with no session of its own on a kept-alive
            // connection browses with the anonymous one before it rather
            // than making a session (and a cookie) per request.
            copyToRecord(cd, *e);
            cd.credentials.sessionLent = true;
        } else if (!e && isLendable(*cd.credentials.session)
                   && (id.isEmpty() || id == cd.credentials.session->id)) {
            // The table let this anonymous session go to make room (one
            // address holds more connections than it may keep sessions):
            // the connection keeps browsing with its copy. Making a new one
            // would push out another connection's session, which would then
            // make one in turn: a session and a cookie per request.
        } else {
            // The request does not name the session of the one before it on
            // this connection: a proxy passes many clients' requests over one
            // kept-alive connection. A redirect it did not use goes back.
            if (e && e->s.redirect.isEmpty())
                e->s.redirect = cd.credentials.session->redirect;
            cd.credentials.session.reset();
        }
    }
    if (!cd.credentials.session) {
        if (!usableSessionId(id)) {
            startSession(cd);
        } else if (TsessionEntry *e = t.find(id)) {
            // A session is bound to the address that made it. Its cookie
            // seen from another one (a browser that changed network, or
            // "localhost" reached over the other IP version) is dropped,
            // and the request goes on as a visitor who may log in again.
            if (e->ip == conn.address())
                copyToRecord(cd, *e);
            else
                dropSessionCookie(conn);
        } else {
            copyToRecord(cd, *t.create(conn.address(), id));
        }
    }
    cd.credentials.sessionBound = true;
    if (cd.request.urlVars.value(QStringLiteral("mode")) == QLatin1StringView("logout")) {
        if (cd.credentials.sessionLent)
            cd.credentials.session.reset();
        else if (cd.credentials.session)
            freeSession(cd.credentials.session->id);
        dropSessionCookie(conn);
        cd.credentials.account = nullptr;
        return true;
    }
    const ThttpRequest &req = conn.request();
    if (!req.user.isEmpty()) {
        cd.credentials.user = req.user;
        cd.credentials.password = req.pwd;
        cd.credentials.account = userAccount(cd.credentials.user);
    } else {
        cd.credentials.account
            = cd.credentials.session ? userAccount(cd.credentials.session->user) : nullptr;
        if (cd.credentials.account) {
            cd.credentials.user = cd.credentials.account->user;
            cd.credentials.password = cd.credentials.account->pwd;
        }
    }
    if (!lastPurge)
        lastPurge = now();
    else if (now() - lastPurge >= purgeInterval)
        purgeNow();
    return true;
}

QString TsessionManager::checkLoginForm(TconnData &cd)
{
    const Taccount *a = userAccount(cd.request.postVars.value(QStringLiteral("user")));
    if (!a)
        return QStringLiteral("username not found");
    // A login binds a session: one is made for a request that has none or
    // that was lent the session of another.
    if (!ownStoredSession(cd))
        startOwnSession(cd);
    if (!loginPasswordMatches(a->pwd, cd.credentials.session->id, cd.request.postVars.value(QStringLiteral("password")),
                              lowerHex(cd.request.postVars.value(QStringLiteral("passwordSHA256"))),
                              lowerHex(cd.request.postVars.value(QStringLiteral("passwordMD5")))))
        return QStringLiteral("bad password");
    const Taccount *r = accountWithRedir(a);
    const QString redirect = r ? redirectTarget(r->redir) : QString();
    cd.credentials.session->user = a->user;
    cd.credentials.session->redirect.clear();
    // The next folder page, on whichever connection, answers it.
    if (TsessionEntry *e = TsessionTable::global().find(cd.credentials.session->id)) {
        e->s.user = a->user;
        e->s.redirect = redirect;
    }
    cd.credentials.account = a;
    cd.credentials.user = a->user;
    cd.credentials.password = a->pwd;
    return QStringLiteral("ok");
}

QString TsessionManager::checkSignedLink(TconnData &cd)
{
    const Taccount *a = userAccount(cd.request.urlVars.value(QStringLiteral("u")));
    if (!a)
        return QStringLiteral("username not found");
    const QByteArray &url = cd.conn->request().url;
    const qsizetype q = url.indexOf('?');
    if (q < 0 || !signatureMatches(QByteArrayView(url).sliced(q + 1), a->pwd))
        return QStringLiteral("bad sign");
    if (!ownStoredSession(cd))
        startOwnSession(cd);
    TsessionEntry *e = TsessionTable::global().find(cd.credentials.session->id);
    Tsession &s = *cd.credentials.session;
    bool ok = false;
    const double eUtc = cd.request.urlVars.value(QStringLiteral("e")).toDouble(&ok);
    if (ok && std::isfinite(eUtc)) {
        const TdateTime at = utcToLocal(eUtc);
        s.ttl = at - now();
        s.expires = at;
    }
    if (e) {
        e->s.ttl = s.ttl;
        e->s.expires = s.expires;
    }
    if (s.ttl < 0)
        return QStringLiteral("expired");
    cd.credentials.account = a;
    cd.credentials.user = a->user;
    cd.credentials.password = a->pwd;
    s.user = a->user;
    s.redirect = QStringLiteral(".");
    if (e)
        e->s.user = a->user;
    return {};
}

bool TsessionManager::credentialsMatch(const QString &user, const QString &pwd)
{
    const Taccount *a = userAccount(user);
    if (a && constTimeEqual(a->pwd, pwd))
        return true;
    return treeUsersMatch(user, pwd);
}

void TsessionManager::demandLogin(TconnData &cd, Tfile &node)
{
    ThttpReply &r = cd.conn->reply();
    QString realm = node.getShownRealm();
    if (realm.isEmpty())
        realm = opts().loginRealm;
    if (!realm.isEmpty())
        r.realm = realm;
    serve().events().run(QStringLiteral("unauthorized"), &cd);
    replySpecialPage(cd, QStringLiteral("login"), &node);
    // Download tools send credentials only when challenged, and a template
    // without a login page leaves Basic credentials as the only way in: ask
    // for them instead of a refusal. Browsers asking for a page get the page.
    if (r.mode == HRM_DENY && (r.body.isEmpty() || !acceptsPage(cd.conn->getHeader(QByteArrayView("Accept")))))
        r.mode = HRM_UNAUTHORIZED;
    if (opts().logOthers && userAccount(cd.credentials.user))
        add2log(QStringLiteral("Login failed"), logPeer(cd.conn));
}
