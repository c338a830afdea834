#pragma once
// The program's periodic work. One timer ticks every 100 ms; each tick runs
// the steps that are due, graded so that a tick does little: every tick,
// every 10 minutes, every minute, every 10 seconds, every second, and every
// graph-rate ticks, in that order. Within a grade the steps run in the order
// they were added (Tapplication adds them, in one place).
//
// The schedule knows nothing of the steps: the program tells it when a quit
// is due and when it is quitting, and tests drive tick() directly.
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class Theartbeat
{
public:
    enum Tgrade { EVERY_TICK, EVERY_10_MINUTES, EVERY_MINUTE, EVERY_10_SECONDS, EVERY_SECOND, EVERY_GRAPH_SAMPLE };
    static constexpr int gradeCount = EVERY_GRAPH_SAMPLE + 1;

    void add(Tgrade grade, const QString &name, std::function<void()> step);
    // The names of a grade's steps, in their order.
    QStringList steps(Tgrade grade) const;

    // A quit was asked for and is not under way yet.
    std::function<bool()> quitDue;
    // Carries the quit out (closes the window; headless, the program).
    std::function<void()> carryOutQuit;
    // The program is quitting: nothing more runs.
    std::function<bool()> quitting;
    // Ticks between two graph samples (graph-rate); below 1 counts as 1.
    std::function<qint64()> graphRate;

    // One tick: a due quit first, then, unless the program is quitting or a
    // previous tick is still running (a step waiting on a nested event
    // loop), the steps that are due.
    void tick();

    // Ticks that did work.
    qint64 ticks() const { return count; }
    bool running() const { return inTick; }

private:
    struct Tstep
    {
        QString name;
        std::function<void()> run;
    };
    void runGrade(Tgrade grade);
    bool due(Tgrade grade) const;

    QList<Tstep> grades[gradeCount];
    qint64 count = 0;
    bool inTick = false;
};
