#pragma once
// Speed limits set for one address or one connection (the macros "set speed
// limit for address" / "... for connection"). The limiter of an address
// lives in Tserve and is freed when the address's last connection ends; an
// address whose limit was customised keeps that limit here for the whole
// run, and gets it back on every new limiter and after every request.

#include <QHash>
#include <QString>

class TconnData;
class Tserve;

class TperIp
{
public:
    // The table of customised addresses, process-wide.
    static TperIp &global();

    // Sets the limit (kB/s, negative = unlimited) of `address`, or, with an
    // empty address, the option "speed-limit-ip" for every address that
    // has no limit of its own.
    void setAddressLimit(Tserve &s, const QString &address, double kbPerSecond);
    // Drops the limit of its own of `address` (back to "speed-limit-ip").
    void clearAddressLimit(Tserve &s, const QString &address);
    bool isCustomized(const QString &address) const { return custom.contains(address); }
    // Bytes per second of a customised address; -1 when not customised.
    qint64 customLimit(const QString &address) const { return custom.value(address, -1); }
    qsizetype customizedCount() const { return custom.size(); }

    // Puts the right limit on the limiter of every connected address: its
    // own when customised, else "speed-limit-ip" when that option changed.
    void syncLimiters(Tserve &s);

    // Most addresses that may carry a limit of their own; beyond it the
    // oldest customisation is dropped (scripts may set limits for any address).
    static constexpr qsizetype maxCustomized = 10000;

private:
    QHash<QString, qint64> custom; // address -> bytes per second
    QList<QString> order;          // customisation order, oldest first
    qint64 lastIpLimit = -2;       // "speed-limit-ip" last applied
};

// The address's own limit back on its limiter (after the dispatcher set the
// common one).
void reapplyCustomLimit(TconnData &cd);

// Creates or changes the connection's own limiter (kB/s, negative =
// unlimited); it is freed with the record.
void setConnectionSpeedLimit(TconnData &cd, double kbPerSecond);
// The server-wide limiter follows the option "speed-limit" (nothing while
// streaming is paused).
void syncGlobalLimit(Tserve &s);
