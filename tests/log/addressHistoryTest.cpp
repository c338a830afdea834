// The addresses ever connected: sorted, unique, bounded, oldest out first.
#include "log/addressHistory.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <algorithm>

namespace {

QString addr(int i)
{
    return QStringLiteral("10.%1.%2.%3").arg(i >> 16 & 255).arg(i >> 8 & 255).arg(i & 255);
}

bool sortedUnique(const QStringList &l)
{
    return std::is_sorted(l.cbegin(), l.cend()) && std::adjacent_find(l.cbegin(), l.cend()) == l.cend();
}

} // namespace

TEST(AddressHistory, SortedWithoutDuplicates)
{
    TaddressHistory h;
    QStringList l;
    EXPECT_TRUE(h.add(l, QStringLiteral("192.168.0.9")));
    EXPECT_TRUE(h.add(l, QStringLiteral("::1")));
    EXPECT_TRUE(h.add(l, QStringLiteral("10.0.0.1")));
    EXPECT_FALSE(h.add(l, QStringLiteral("::1")));
    EXPECT_FALSE(h.add(l, QString()));
    EXPECT_EQ(l, (QStringList{"10.0.0.1", "192.168.0.9", "::1"}));
}

TEST(AddressHistory, OldestAddedGoesFirstAtTheLimit)
{
    TaddressHistory h(3);
    QStringList l;
    for (const char *a : {"c", "a", "b"})
        h.add(l, QString::fromLatin1(a));
    EXPECT_FALSE(h.add(l, QStringLiteral("c"))) << "seen again: still the oldest";
    EXPECT_TRUE(h.add(l, QStringLiteral("d")));
    EXPECT_EQ(l, (QStringList{"a", "b", "d"}));
    h.add(l, QStringLiteral("0"));
    EXPECT_EQ(l, (QStringList{"0", "b", "d"}));
    EXPECT_TRUE(h.add(l, QStringLiteral("c"))) << "dropped addresses count as new";
    EXPECT_EQ(l, (QStringList{"0", "c", "d"}));
}

// Addresses read from the options have no known age: they go before any
// the history added itself, also when the options bring more later.
TEST(AddressHistory, AddressesFromTheOptionsCountAsOlder)
{
    TaddressHistory h(4);
    QStringList l{QStringLiteral("m"), QStringLiteral("z")};
    h.add(l, QStringLiteral("a"));
    h.add(l, QStringLiteral("b"));
    h.add(l, QStringLiteral("c"));
    EXPECT_EQ(l, (QStringList{"a", "b", "c", "z"})) << "m went first";
    // Options applied: an address merged into the list.
    l.insert(1, QStringLiteral("aa"));
    h.add(l, QStringLiteral("d"));
    h.add(l, QStringLiteral("e"));
    EXPECT_EQ(l, (QStringList{"b", "c", "d", "e"})) << "aa and z went before a";
}

// The list replaced by another of the same size is not noticed at once;
// its entries still go before the list can grow past the limit.
TEST(AddressHistory, ReplacedListStaysBounded)
{
    TaddressHistory h(3);
    QStringList l;
    for (const char *a : {"a", "b", "c"})
        h.add(l, QString::fromLatin1(a));
    l = {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")};
    h.add(l, QStringLiteral("d"));
    EXPECT_EQ(l.size(), 3);
    EXPECT_TRUE(sortedUnique(l));
    EXPECT_TRUE(l.contains(QStringLiteral("d"))) << "the newest stays";
    EXPECT_EQ(l, (QStringList{"d", "y", "z"}));
}

// A scan from many addresses: the list stops at its limit and a request
// from a known address stays a binary search.
TEST(AddressHistory, ScanOfManyAddressesIsBoundedAndCheap)
{
    TaddressHistory h;
    const int limit = int(TaddressHistory::defaultLimit);
    QStringList l;
    for (int i = 0; i < limit; ++i)
        l << addr(i);
    l.sort(); // as the options hold them
    const QStringList before = l;
    QElapsedTimer t;
    t.start();
    int added = 0;
    for (int i = limit; i < limit + 2000; ++i)
        added += h.add(l, QStringLiteral("fd00::%1").arg(i, 0, 16));
    const qint64 newOnes = t.restart();
    EXPECT_EQ(added, 2000);
    EXPECT_EQ(l.size(), limit);
    EXPECT_TRUE(sortedUnique(l));
    // The options' addresses went first, in list order.
    EXPECT_FALSE(l.contains(before[1999]));
    EXPECT_TRUE(l.contains(before[2000]));
    EXPECT_TRUE(l.contains(QStringLiteral("fd00::%1").arg(limit, 0, 16)));
    int known = 0;
    for (int i = 0; i < 200000; ++i)
        known += !h.add(l, before[limit - 1 - i % 1000]);
    const qint64 knownOnes = t.elapsed();
    EXPECT_EQ(known, 200000);
    EXPECT_EQ(l.size(), limit);
    // Generous bounds (sanitizer builds, a busy machine): a copy of the
    // list per call would take minutes here.
    EXPECT_LT(newOnes, 20000);
    EXPECT_LT(knownOnes, 20000);
}
