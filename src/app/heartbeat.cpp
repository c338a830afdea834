#include "app/heartbeat.h"

#include <QScopeGuard>

void Theartbeat::add(Tgrade grade, const QString &name, std::function<void()> step)
{
    grades[grade].append({name, std::move(step)});
}

QStringList Theartbeat::steps(Tgrade grade) const
{
    QStringList out;
    for (const Tstep &s : grades[grade])
        out << s.name;
    return out;
}

void Theartbeat::tick()
{
    // Never from inside a tick: the step still running would find the
    // program gone under it. The next tick carries the quit out.
    if (!inTick && quitDue && quitDue() && carryOutQuit)
        carryOutQuit();
    if (inTick || (quitting && quitting()))
        return;
    inTick = true;
    const auto done = qScopeGuard([this] { inTick = false; });
    ++count;
    for (int g = 0; g < gradeCount; ++g)
        if (due(Tgrade(g)))
            runGrade(Tgrade(g));
}

bool Theartbeat::due(Tgrade grade) const
{
    switch (grade) {
    case EVERY_TICK:
        return true;
    case EVERY_10_MINUTES:
        return count % 6000 == 0;
    case EVERY_MINUTE:
        return count % 600 == 0;
    case EVERY_10_SECONDS:
        return count % 100 == 0;
    case EVERY_SECOND:
        return count % 10 == 0;
    case EVERY_GRAPH_SAMPLE:
        return count % qMax<qint64>(1, graphRate ? graphRate() : 10) == 0;
    }
    return false;
}

void Theartbeat::runGrade(Tgrade grade)
{
    // A step may add steps (or the list may be read) while it runs: the
    // grade's list is walked by index.
    for (qsizetype i = 0; i < grades[grade].size(); ++i) {
        const std::function<void()> step = grades[grade][i].run;
        if (step)
            step();
    }
}
