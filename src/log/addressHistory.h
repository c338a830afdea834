#pragma once
// The addresses that ever connected: a sorted list without duplicates (the
// list the options store), bounded so that a scan from many addresses cannot
// grow it without end. Past the limit the address added longest ago goes
// first; addresses the list held before this history saw them (read from the
// options) count as older than any it added itself.
//
// The list stays the options' own: the history only remembers the order of
// additions beside it, and notices when the list was changed elsewhere.
#include <QString>
#include <QStringList>

#include <deque>

class TaddressHistory
{
public:
    static constexpr qsizetype defaultLimit = 100000;

    explicit TaddressHistory(qsizetype limit = defaultLimit) : limit_(qMax<qsizetype>(1, limit)) {}

    // Adds `address` to `sorted`, which must be sorted (QString order) and
    // without duplicates, and keeps it so. True when the address was new.
    // A known address costs a binary search.
    bool add(QStringList &sorted, const QString &address);

    qsizetype limit() const { return limit_; }

private:
    void learn(const QStringList &sorted);
    void dropOldest(QStringList &sorted);

    qsizetype limit_;
    std::deque<QString> order; // oldest first; may name addresses since removed
    qsizetype knownSize = -1;  // the list's size after this history last changed it
};
