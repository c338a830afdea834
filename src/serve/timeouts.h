#pragma once
// The admission work of the heartbeat: limits that follow the options,
// kicking newly banned addresses, socket buffers of downloads, the pace
// required of requests (enforced by the server core), idle connections and
// the no-download timeout. Times are taken from a monotonic clock: a
// record's activity is noticed as a change of its activity stamp or of its
// byte counts, so a change of the wall clock neither closes nor keeps
// connections.

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

    // Called every heartbeat tick (100 ms); the per-second work runs when a
    // second has passed.
    void tick(Tserve &s);
    // The per-second work, now (tests drive it directly).
    void secondWork(Tserve &s);
    // Disconnects every connection whose address the ban list now bans.
    static int kickBanned(Tserve &s);

    // Asks the program to quit (the no-download timeout); set by the program.
    std::function<void()> quit;
    // The socket buffer size the command line asks for downloads (0: the
    // kernel's own); set by the program.
    std::function<qint64()> downloadBufferSize;
    // Milliseconds of the monotonic clock; settable for tests.
    std::function<qint64()> clock;

private:
    struct Tseen
    {
        double activityStamp = 0;
        qint64 bytesSent = 0, bytesReceived = 0;
        qint64 since = 0; // monotonic ms of the last activity seen
    };
    void noteActivity(Tserve &s, qint64 t);

    QElapsedTimer mono;
    qint64 lastSecond = -1;
    QHash<const ThttpConn *, Tseen> seen;
    double lastNetStamp = 0;
    qint64 lastNetBytes = 0;
    qint64 lastNetSince = -1;
    QList<Tban> lastBans;
    bool bansKnown = false;
};

// The program's instance, driven by the heartbeat.
Ttimeouts &timeouts();
