// The heartbeat's schedule driven tick by tick: which grades run at which
// tick, in what order, and what stops a tick.
#include "app/heartbeat.h"

#include <gtest/gtest.h>

#include <QList>
#include <QPair>
#include <QString>

#include <stdexcept>

namespace {

// A schedule whose steps record (tick, name) as they run.
struct Recorder
{
    Theartbeat hb;
    QList<QPair<qint64, QString>> ran;
    qint64 graphRate = 10;

    Recorder()
    {
        hb.graphRate = [this] { return graphRate; };
        for (auto [grade, name] : {QPair<Theartbeat::Tgrade, const char *>{Theartbeat::EVERY_GRAPH_SAMPLE, "graph"},
                                   {Theartbeat::EVERY_SECOND, "second"},
                                   {Theartbeat::EVERY_10_SECONDS, "10 s"},
                                   {Theartbeat::EVERY_MINUTE, "minute"},
                                   {Theartbeat::EVERY_10_MINUTES, "10 min"},
                                   {Theartbeat::EVERY_TICK, "tick"}})
            add(grade, QString::fromLatin1(name));
    }
    void add(Theartbeat::Tgrade grade, const QString &name)
    {
        hb.add(grade, name, [this, name] { ran.append({hb.ticks(), name}); });
    }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            hb.tick();
    }
    // The ticks at which `name` ran.
    QList<qint64> when(const QString &name) const
    {
        QList<qint64> out;
        for (const auto &r : ran)
            if (r.second == name)
                out << r.first;
        return out;
    }
    // What ran at tick `t`, in order.
    QStringList at(qint64 t) const
    {
        QStringList out;
        for (const auto &r : ran)
            if (r.first == t)
                out << r.second;
        return out;
    }
};

} // namespace

TEST(Heartbeat, GradesRunAtTheirTicks)
{
    Recorder r;
    r.ticks(6000);
    EXPECT_EQ(r.hb.ticks(), 6000);
    EXPECT_EQ(r.when(QStringLiteral("tick")).size(), 6000);
    EXPECT_EQ(r.when(QStringLiteral("second")).size(), 600);
    EXPECT_EQ(r.when(QStringLiteral("second")).first(), 10);
    EXPECT_EQ(r.when(QStringLiteral("second"))[1], 20);
    EXPECT_EQ(r.when(QStringLiteral("10 s")).first(), 100);
    EXPECT_EQ(r.when(QStringLiteral("10 s")).size(), 60);
    EXPECT_EQ(r.when(QStringLiteral("minute")), (QList<qint64>{600, 1200, 1800, 2400, 3000, 3600, 4200, 4800, 5400, 6000}));
    EXPECT_EQ(r.when(QStringLiteral("10 min")), QList<qint64>{6000});
    EXPECT_EQ(r.at(9), QStringList{QStringLiteral("tick")});
    // At the tick where every grade is due they run in the schedule's order,
    // whatever the order they were added in.
    EXPECT_EQ(r.at(6000), (QStringList{"tick", "10 min", "minute", "10 s", "second", "graph"}));
}

TEST(Heartbeat, StepsOfAGradeRunInTheOrderAdded)
{
    Recorder r;
    r.add(Theartbeat::EVERY_SECOND, QStringLiteral("status bar"));
    r.add(Theartbeat::EVERY_TICK, QStringLiteral("tick 2"));
    EXPECT_EQ(r.hb.steps(Theartbeat::EVERY_SECOND), (QStringList{"second", "status bar"}));
    r.ticks(10);
    EXPECT_EQ(r.at(10), (QStringList{"tick", "tick 2", "second", "status bar", "graph"}));
}

TEST(Heartbeat, GraphFollowsItsRate)
{
    Recorder r;
    r.graphRate = 5;
    r.ticks(20);
    EXPECT_EQ(r.when(QStringLiteral("graph")), (QList<qint64>{5, 10, 15, 20}));
    // A changed rate takes effect at once; below 1 it samples every tick.
    r.graphRate = 0;
    r.ticks(3);
    EXPECT_EQ(r.when(QStringLiteral("graph")).mid(4), (QList<qint64>{21, 22, 23}));
    r.graphRate = 7;
    r.ticks(7);
    EXPECT_EQ(r.when(QStringLiteral("graph")).mid(7), QList<qint64>{28});
}

// A step that waits on a nested event loop lets the timer fire again: that
// tick must neither run steps nor count.
TEST(Heartbeat, NestedTickDoesNothing)
{
    Recorder r;
    int nested = 0;
    r.hb.add(Theartbeat::EVERY_TICK, QStringLiteral("nested"), [&] {
        ++nested;
        EXPECT_TRUE(r.hb.running());
        r.hb.tick();
    });
    r.ticks(10);
    EXPECT_EQ(nested, 10);
    EXPECT_EQ(r.hb.ticks(), 10);
    EXPECT_EQ(r.when(QStringLiteral("tick")).size(), 10);
    EXPECT_EQ(r.when(QStringLiteral("second")), QList<qint64>{10});
    EXPECT_FALSE(r.hb.running());
}

TEST(Heartbeat, GuardIsReleasedWhenAStepThrows)
{
    Recorder r;
    bool fail = true;
    r.hb.add(Theartbeat::EVERY_TICK, QStringLiteral("throws"), [&] {
        if (fail)
            throw std::runtime_error("step failed");
    });
    EXPECT_THROW(r.hb.tick(), std::runtime_error);
    fail = false;
    r.hb.tick();
    EXPECT_EQ(r.when(QStringLiteral("tick")), (QList<qint64>{1, 2}));
}

TEST(Heartbeat, QuitIsCarriedOutFirstThenNothingRuns)
{
    Recorder r;
    bool asked = false, quitting = false;
    int closes = 0;
    r.hb.quitDue = [&] { return asked && !quitting; };
    r.hb.carryOutQuit = [&] {
        ++closes;
        EXPECT_FALSE(r.hb.running()) << "never from inside a tick";
        quitting = true;
    };
    r.hb.quitting = [&] { return quitting; };
    r.ticks(3);
    asked = true;
    r.ticks(20);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(r.hb.ticks(), 3) << "a quitting program's ticks do nothing";
    EXPECT_EQ(r.when(QStringLiteral("tick")).size(), 3);
}

// A quit asked from inside a step waits for the next tick, which carries it
// out before any step of its own.
TEST(Heartbeat, QuitAskedDuringATickWaitsForTheNext)
{
    Recorder r;
    bool asked = false, quitting = false;
    QStringList order;
    r.hb.quitDue = [&] { return asked && !quitting; };
    r.hb.carryOutQuit = [&] {
        order << QStringLiteral("quit");
        quitting = true;
    };
    r.hb.quitting = [&] { return quitting; };
    r.hb.add(Theartbeat::EVERY_TICK, QStringLiteral("asks"), [&] {
        asked = true;
        order << QStringLiteral("step");
        r.hb.tick(); // a nested tick does not quit from here
    });
    r.hb.tick();
    EXPECT_EQ(order, (QStringList{"step"}));
    r.hb.tick();
    EXPECT_EQ(order, (QStringList{"step", "quit"}));
    EXPECT_EQ(r.hb.ticks(), 1);
}
