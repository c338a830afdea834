// Services reached through their owner's registration.
#include "util/service.h"

#include <gtest/gtest.h>

namespace {

struct Tfirst
{
};

// Records what it can still reach when it is destroyed.
struct Tsecond
{
    ~Tsecond()
    {
        firstReachable = Tservice<Tfirst>::find() != nullptr;
        selfReachable = Tservice<Tsecond>::find() != nullptr;
    }
    static inline bool firstReachable = false;
    static inline bool selfReachable = true;
};

struct Towner
{
    Towned<Tfirst> first;
    Towned<Tsecond> second;
};

} // namespace

TEST(Service, ReachableWhileOwnedAndDestroyedInReverse)
{
    EXPECT_EQ(Tservice<Tfirst>::find(), nullptr);
    {
        Towner owner;
        EXPECT_EQ(&Tservice<Tfirst>::get(), &*owner.first);
        EXPECT_EQ(&Tservice<Tsecond>::get(), &*owner.second);
    }
    // The later service went first, while the earlier one was still there;
    // it was no longer reachable itself while being destroyed.
    EXPECT_TRUE(Tsecond::firstReachable);
    EXPECT_FALSE(Tsecond::selfReachable);
    EXPECT_EQ(Tservice<Tfirst>::find(), nullptr);
    EXPECT_EQ(Tservice<Tsecond>::find(), nullptr);
}

TEST(Service, InnerOwnerShadowsAndGivesBack)
{
    Towned<Tfirst> outer;
    {
        Towned<Tfirst> inner;
        EXPECT_EQ(&Tservice<Tfirst>::get(), &*inner);
    }
    EXPECT_EQ(&Tservice<Tfirst>::get(), &*outer);
}

TEST(ServiceDeathTest, MissingServiceStopsWithItsName)
{
    EXPECT_DEATH(Tservice<Tfirst>::get(), "Tfirst used while the program does not have it");
}
