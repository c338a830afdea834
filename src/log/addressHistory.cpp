#include "log/addressHistory.h"

#include <QSet>

#include <algorithm>

namespace {

bool listed(const QStringList &sorted, const QString &address)
{
    return std::binary_search(sorted.cbegin(), sorted.cend(), address);
}

} // namespace

bool TaddressHistory::add(QStringList &sorted, const QString &address)
{
    if (address.isEmpty())
        return false;
    // A list of another size was changed elsewhere (options applied, a
    // list read from disk): its new entries have no known age.
    if (sorted.size() != knownSize || qsizetype(order.size()) > 2 * limit_)
        learn(sorted);
    const auto at = std::lower_bound(sorted.cbegin(), sorted.cend(), address);
    if (at != sorted.cend() && *at == address)
        return false;
    sorted.insert(at, address);
    order.push_back(address);
    while (sorted.size() > limit_)
        dropOldest(sorted);
    knownSize = sorted.size();
    return true;
}

// Entries of unknown age go first, in list order; the additions recorded
// here follow in their own order.
void TaddressHistory::learn(const QStringList &sorted)
{
    const QSet<QString> recorded(order.cbegin(), order.cend());
    std::deque<QString> next;
    for (const QString &a : sorted)
        if (!recorded.contains(a))
            next.push_back(a);
    for (const QString &a : order)
        if (listed(sorted, a))
            next.push_back(a);
    order.swap(next);
    knownSize = sorted.size();
}

void TaddressHistory::dropOldest(QStringList &sorted)
{
    for (;;) {
        if (order.empty()) {
            learn(sorted);
            continue;
        }
        const auto it = std::lower_bound(sorted.cbegin(), sorted.cend(), order.front());
        if (it == sorted.cend() || *it != order.front()) {
            // Only a change made elsewhere removes a recorded address: the
            // list was replaced by one of the same size, whose entries are
            // older than anything recorded since.
            learn(sorted);
            continue;
        }
        order.pop_front();
        sorted.erase(it);
        return;
    }
}
