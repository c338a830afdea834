#pragma once

// What the tree needs to know of a client connection. Request handling
// implements it on its per-connection record; tests implement it directly.

#include <QString>

class TconnView {
public:
    virtual ~TconnView() = default;

    // Credentials the requester presented or its session carries (empty when none).
    virtual QString user() const = 0;
    virtual QString pwd() const = 0;
    // A variable of the request's URL query (empty when absent).
    virtual QString urlVar(const QString &name) const = 0;
    // The connection has ended: long walks made for it may stop.
    virtual bool closed() const = 0;
    // Marks activity, so that a long walk does not count as idle time.
    virtual void touch() = 0;
};
