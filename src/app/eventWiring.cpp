#include "app/eventWiring.h"

#include "config/config.h"
#include "config/eventScripts.h"
#include "config/paths.h"
#include "script/macroEngine.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <memory>

namespace {

struct TeventState
{
    std::unique_ptr<TeventScripts> scripts;
    QElapsedTimer sinceStart;
};

TeventState &state()
{
    static TeventState s;
    return s;
}

} // namespace

void loadEventScripts()
{
    TeventState &s = state();
    s.sinceStart.start();
    s.scripts = std::make_unique<TeventScripts>(cfgPath() + QStringLiteral("zof.events"),
                                                [](const QString &section) { runEventSection(section, {}); });
    s.scripts->load();
    Tconfig &c = cfg();
    c.hooks.clearEvents = [] {
        if (TeventScripts *e = eventScripts())
            e->clear();
    };
    c.hooks.reloadEvents = [] {
        if (TeventScripts *e = eventScripts())
            e->forgetFileTime();
    };
}

TeventScripts *eventScripts()
{
    return state().scripts.get();
}

void reloadEventsFileWhenChanged()
{
    if (TeventScripts *e = eventScripts())
        e->reloadWhenChanged();
}

void runTimedEvents()
{
    TeventState &s = state();
    if (s.scripts)
        s.scripts->runTimed(s.sinceStart.elapsed() / 1000, QDateTime::currentDateTime());
}

void runProgramEvent(const QString &name)
{
    runEventSection(name, {});
}
