#pragma once
// Stages what a unit test needs on a connection without a real peer doing
// it: the peer's address, the state of the exchange, the lock.

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
};
