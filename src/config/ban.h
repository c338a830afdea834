#pragma once
// One ban rule: an address mask and the comment shown as the ban reason.
#include <QString>

struct Tban
{
    QString ip;
    QString comment;

    friend bool operator==(const Tban &, const Tban &) = default;
};
