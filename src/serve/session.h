#pragma once
// Sessions kept by the server: the process-wide table keyed by id, the
// cookie that carries the id, and the pure pieces of the login checks.

#include "serve/connData.h"
#include "serve/serveHooks.h"
#include "util/dateTime.h"

#include <QHash>
#include <QString>

inline const QString SESSION_COOKIE = QStringLiteral("ZOF_SID_");

// One stored session; records hold copies (Tsession) refreshed per request.
struct TsessionEntry
{
    Tsession s;
    QString ip;
    QString addressKey; // sessionAddressKey(ip)
    TdateTime created = 0;
};

class TsessionTable
{
public:
    // The program's table (owned by the application).
    static TsessionTable &global();
    static constexpr qsizetype defaultMaxSessions = 100000;
    static constexpr qsizetype defaultMaxAnonymousByAddress = 500;

    // Past `total` sessions a tenth is dropped, anonymous ones first, the
    // closest to expiry first. One address (one /64 network for IPv6) keeps
    // at most `anonymousByAddress` anonymous sessions: its oldest one goes.
    // Values below 1 take the defaults.
    void setLimits(qint64 total, qint64 anonymousByAddress);

    TsessionEntry *find(const QString &id);
    // A new session under `id` (a fresh id when empty); null when `id` is taken.
    TsessionEntry *create(const QString &ip, const QString &id = {});
    void remove(const QString &id);
    // Drops every session whose expiry is in the past (or before `at`).
    int purge(TdateTime at);
    qsizetype size() const { return table.size(); }
    void clear();

private:
    void makeRoom();
    void capAnonymous(const QString &ip);
    void reindexAnonymous();
    bool isAnonymousOf(const QString &id, const QString &key) const;

    QHash<QString, TsessionEntry> table;
    // Anonymous sessions per address key, oldest first. Ids that were
    // logged in or dropped since are skipped when met; the index is rebuilt
    // whenever many sessions go at once.
    QHash<QString, QList<QString>> anonymousByAddress;
    qsizetype maxTotal = defaultMaxSessions;
    qsizetype maxAnonymousByAddress = defaultMaxAnonymousByAddress;
};

// The key sessions are counted under: the address itself, or its /64
// network for IPv6 (one client easily holds a whole network).
QString sessionAddressKey(const QString &ip);

// A new session id: 22 ASCII letters and digits, drawn at random.
QString newSessionId();
// Longer than 9 characters, ASCII letters and digits only.
bool usableSessionId(const QString &id);
// Equal length and content, in time independent of where they differ.
bool constTimeEqual(const QString &a, const QString &b);

// "ok", "bad password" for the login form values against the account's
// password (hashed forms are H(H(password) + session id)).
bool loginPasswordMatches(const QString &accountPwd, const QString &sessionId, const QString &plain,
                          const QString &sha256, const QString &md5);
// The signed link check on the raw query (after '?'): empty when good, else "bad sign".
bool signatureMatches(QByteArrayView rawQuery, const QString &accountPwd);
// The account's redirect target in its sent form ('/' in front, '/' for '\').
QString redirectTarget(const QString &redir);

// Sessions for the connections: restore, login form, signed links, logout,
// the login demand; purges the table every 60 seconds.
class TsessionManager : public TsessionHooks
{
public:
    bool restore(TconnData &cd) override;
    QString checkLoginForm(TconnData &cd) override;
    QString checkSignedLink(TconnData &cd) override;
    bool credentialsMatch(const QString &user, const QString &pwd) override;
    void demandLogin(TconnData &cd, Tfile &node) override;

    // Frees expired sessions, taking the renewals of live records first
    // (every minute by the heartbeat; restoring a session does it too when
    // a minute passed).
    static void purgeNow();
    // Removes the session from the table and from every record.
    // Taken by value: the id is often a record's own, which this resets.
    static void freeSession(QString id);

private:
    // A new session for the record, its cookie set on the reply.
    static void startSession(TconnData &cd);
    // The same, replacing a session the record was only lent.
    static void startOwnSession(TconnData &cd);
};

// Drops the session cookie, with the path it was set with.
void dropSessionCookie(ThttpConn &conn);
