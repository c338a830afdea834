#include "ui/standbyInhibitor.h"

#include "log/log.h"

#ifdef ZOF_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#endif

TstandbyInhibitor::Tbus TstandbyInhibitor::desktopBus()
{
    Tbus b;
#ifdef ZOF_HAVE_DBUS
    const auto iface = [] {
        return std::make_unique<QDBusInterface>(QStringLiteral("org.freedesktop.ScreenSaver"),
                                                QStringLiteral("/org/freedesktop/ScreenSaver"),
                                                QStringLiteral("org.freedesktop.ScreenSaver"),
                                                QDBusConnection::sessionBus());
    };
    b.inhibit = [iface](const QString &app, const QString &reason) -> quint32 {
        const auto i = iface();
        if (!i->isValid())
            return 0;
        const QDBusReply<quint32> r = i->call(QStringLiteral("Inhibit"), app, reason);
        return r.isValid() ? r.value() : 0;
    };
    b.release = [iface](quint32 cookie) {
        const auto i = iface();
        if (i->isValid())
            i->call(QStringLiteral("UnInhibit"), cookie);
    };
#endif
    return b;
}

TstandbyInhibitor::~TstandbyInhibitor()
{
    if (cookie && bus.release)
        bus.release(cookie);
}

void TstandbyInhibitor::tick(bool wanted, double lastActivity, double now)
{
    const bool fresh = lastActivity > activitySeen;
    activitySeen = lastActivity;
    if (cookie && (!wanted || now - lastActivity >= quietSeconds)) {
        if (bus.release)
            bus.release(cookie);
        cookie = 0;
        return;
    }
    if (cookie || !wanted || !fresh || now - lastActivity >= quietSeconds)
        return;
    // A refusal is not asked again at every busy second.
    if (refusedAt >= 0 && now - refusedAt < quietSeconds)
        return;
    cookie = bus.inhibit ? bus.inhibit(QStringLiteral("ZOF"), QStringLiteral("Serving files")) : 0;
    if (!cookie)
        refusedAt = now;
    if (!cookie && !unavailableLogged) {
        unavailableLogged = true;
        add2log(QStringLiteral("Standby prevention: the desktop offers no inhibition service; nothing done"));
    }
}
