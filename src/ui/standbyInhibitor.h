#pragma once
// Keeps the system awake while the server works: the first network activity
// asks the desktop's screen-saver service to inhibit idleness, and the
// inhibition is released after a quiet minute. Without D-Bus (or without
// the service) the request is logged once and nothing else happens.
#include <QString>

#include <functional>

class TstandbyInhibitor
{
public:
    // The desktop's calls: inhibit answers a cookie (0: refused).
    struct Tbus
    {
        std::function<quint32(const QString &app, const QString &reason)> inhibit;
        std::function<void(quint32 cookie)> release;
    };
    // The session bus's org.freedesktop.ScreenSaver, or empty calls.
    static Tbus desktopBus();

    explicit TstandbyInhibitor(Tbus bus = desktopBus()) : bus(std::move(bus)) {}
    ~TstandbyInhibitor();

    // Once a second: `wanted` (the option) and the time of the last network
    // activity, both in seconds on any steady clock.
    void tick(bool wanted, double lastActivity, double now);
    bool inhibiting() const { return cookie != 0; }

    static constexpr double quietSeconds = 60;

private:
    Tbus bus;
    quint32 cookie = 0;
    double activitySeen = -1;
    double refusedAt = -1;
    bool unavailableLogged = false;
};
