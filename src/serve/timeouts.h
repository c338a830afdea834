#pragma once
// The per-second work on the connections: limits that follow the options,
// kicking newly banned addresses, the pace required of requests (enforced by
// the server core), then for every connection the speed of its transfer, the
// socket buffer of a download and the inactivity timeout, and last the
// no-download timeout. Times are taken from a monotonic clock: a record's
// activity is noticed as a change of its activity stamp or of its byte
// counts, so a change of the wall clock neither closes nor keeps connections.

#include "config/ban.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>

class ThttpConn;
class Tserve;

class Ttimeouts
{
public:
    Ttimeouts();

    // Every heartbeat tick (100 ms): notes the connections' activity.
    void watch(Tserve &s);
    // The per-second work (the heartbeat's schedule runs it).
    void secondWork(Tserve &s);
    // Disconnects every connection whose address the ban list now bans.
    static int kickBanned(Tserve &s);

    // Asks the program to quit (the no-download timeout); set by the program.
    std::function<void()> quit;
    // The socket buffer size the command line asks for downloads (0: the
    // kernel's own, or what high speed handling makes it); set by the program.
    std::function<qint64()> downloadBufferSize;
    // Milliseconds of the monotonic clock; settable for tests.
    std::function<qint64()> clock;

private:
    struct Tseen
    {
        double activityStamp = 0;
        qint64 bytesSent = 0, bytesReceived = 0;
        qint64 since = 0; // monotonic ms of the last activity seen
        quint64 pass = 0; // the last noteActivity that saw it (0: new)
    };
    void noteActivity(Tserve &s, qint64 t);
    void followOptions(Tserve &s);
    static void downloadBuffer(Tserve &s, ThttpConn &c, double averageSpeed, qint64 commandLineSize);
    bool idleTooLong(const ThttpConn &c, qint64 t, qint64 limitMs) const;

    QElapsedTimer mono;
    QHash<const ThttpConn *, Tseen> seen;
    quint64 pass = 0;
    double lastNetStamp = 0;
    qint64 lastNetBytes = 0;
    qint64 lastNetSince = -1;
    QList<Tban> lastBans;
    bool bansKnown = false;
};

// The program's instance, driven by the heartbeat.
Ttimeouts &timeouts();
