// A transfer's speed samples: the mean of the last five and the time left.
#include "log/speedSamples.h"

#include <gtest/gtest.h>

TEST(SpeedSamples, AverageOfTheSamplesPresentAtMostFive)
{
    TspeedSamples s;
    EXPECT_EQ(s.average(), 0);
    EXPECT_FALSE(s.secondsLeft());
    s.add(100, 1000);
    EXPECT_DOUBLE_EQ(s.average(), 100);
    s.add(300, 1000);
    EXPECT_DOUBLE_EQ(s.average(), 200); // of two, not of five
    for (double v : {500.0, 700.0, 900.0})
        s.add(v, 1000);
    EXPECT_DOUBLE_EQ(s.average(), 500);
    s.add(1100, 1000); // the first sample drops out
    EXPECT_DOUBLE_EQ(s.average(), 700);
    for (int i = 0; i < 5; ++i)
        s.add(40, 1000);
    EXPECT_DOUBLE_EQ(s.average(), 40);
    EXPECT_EQ(s.taken(), 11);
}

TEST(SpeedSamples, TimeLeftAtTheAverageNoneWhileStill)
{
    TspeedSamples s;
    s.add(0, 5000);
    EXPECT_FALSE(s.secondsLeft()) << "no estimate at speed 0";
    s.add(2000, 6000);
    ASSERT_TRUE(s.secondsLeft());
    EXPECT_DOUBLE_EQ(*s.secondsLeft(), 6.0); // 6000 bytes at (0 + 2000) / 2
    s.add(4000, 0);
    EXPECT_DOUBLE_EQ(*s.secondsLeft(), 0.0);
    for (int i = 0; i < TspeedSamples::kept; ++i)
        s.add(0, 1000);
    EXPECT_FALSE(s.secondsLeft()) << "stalled: the estimate goes";

    s.reset();
    EXPECT_EQ(s.taken(), 0);
    EXPECT_EQ(s.average(), 0);
    s.add(10, 100);
    EXPECT_DOUBLE_EQ(s.average(), 10) << "nothing of the previous transfer";
}
