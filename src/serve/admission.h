#pragma once
// Admission control: bans, connection limits and download limits. The
// decisions are pure functions over a snapshot of the open connections, so
// that they can be checked without sockets; TadmissionRules plugs them into
// request handling.

#include "config/ban.h"
#include "serve/serveHooks.h"

#include <QList>
#include <QString>

struct Toptions;
class Tfile;
class ThttpSrv;

// What the limits need to know about one open connection.
struct TadmissionConn
{
    QString address;
    bool downloading = false;     // a counted download being replied
    const Tfile *file = nullptr;  // what it serves (transfer.lastFile)
};

// Open connections as the connection limits count them.
struct TconnCounts
{
    qint64 all = 0;
    qint64 fromAddress = 0; // from the address being checked
    qint64 addresses = 0;   // distinct addresses (counted only when asked)
};

// Counts `conns` (which include the one being checked).
TconnCounts countConnections(const QList<TadmissionConn> &conns, const QString &address, bool distinct);
// Counts the server's open connections by their records' addresses, plus
// the one being checked (`self`, skipped where it is found in the list).
// Copies nothing: it runs on every request of a crowded server.
TconnCounts countConnections(const ThttpSrv &srv, const TconnData &self, bool distinct);

// The counts exceed "max-connections", "max-connections-by-ip" or
// "max-ips"; a limit of 0 or less is no limit.
bool isOverloaded(const Toptions &o, const TconnCounts &n);
bool isOverloaded(const Toptions &o, const QList<TadmissionConn> &conns, const QString &address);

// The first ban rule whose mask matches the address; null when none.
const Tban *findBan(const QList<Tban> &bans, const QString &address);

// The reason a new counted download of `file` from `address` is refused by
// the limits, empty when allowed. `others` are the other connections (the
// one asking is counted on top of them).
QString downloadRefusal(const Toptions &o, const QList<TadmissionConn> &others, const QString &address,
                        const Tfile *file);

// A limit in kilobytes per second as a limiter's bytes per second
// (negative: unlimited).
qint64 speedLimitBytes(double kbPerSecond);

// The snapshot of a server's open connections, skipping `except`.
// With `downloadsOnly`, just those downloading now: all the download rules count.
QList<TadmissionConn> admissionSnapshot(const ThttpSrv &srv, const TconnData *except = nullptr,
                                        bool downloadsOnly = false);

// The hooks installed into request handling.
class TadmissionRules final : public TadmissionHooks
{
public:
    void decidePreReply(TconnData &cd) override;
    bool allowDownload(TconnData &cd) override;
};
