#pragma once
// Stages what a unit test needs on a connection without a real peer doing
// it: the peer's address, the state of the exchange, the lock, and what the
// socket reports (bytes arriving, all output sent).

#include "http/httpConn.h"

class ThttpConnTestAccess
{
public:
    static void setPeer(ThttpConn &c, const QString &address, const QString &port)
    {
        c.address_ = address;
        c.port_ = port;
    }
    static void setState(ThttpConn &c, ThttpConnState state) { c.state_ = state; }
    static void setLockCount(ThttpConn &c, int count) { c.lockCount_ = count; }
    static void receive(ThttpConn &c, QByteArrayView bytes) { c.onData(bytes.data(), bytes.size()); }
    static void allSent(ThttpConn &c) { c.sockAllSent(); }
};
