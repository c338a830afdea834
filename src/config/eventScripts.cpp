#include "config/eventScripts.h"

#include "script/macroEngine.h"
#include "tpl/tpl.h"
#include "util/files.h"

#include <QFileInfo>

namespace {

// A day less a little: an "at" section runs once in its minute, and again
// the next day even when the clock ran a few seconds early.
constexpr qint64 kAtRepeatSeconds = qint64(0.9 * 24 * 3600);

} // namespace

TeventScripts::TeventScripts(QString path, std::function<void(const QString &)> runSection)
    : file(std::move(path)), runSection(std::move(runSection))
{
}

void TeventScripts::load()
{
    const QFileInfo fi(file);
    if (fi.isFile()) {
        fileTime = qMax<qint64>(1, fi.lastModified().toMSecsSinceEpoch());
        fileSize = fi.size();
    }
    setEventsTemplate(std::make_shared<Ttpl>(fi.isFile() ? loadTextFile(file) : QString()));
    parsed.clear();
}

void TeventScripts::reloadWhenChanged()
{
    const QFileInfo fi(file);
    if (!fi.isFile())
        return;
    const qint64 t = qMax<qint64>(1, fi.lastModified().toMSecsSinceEpoch());
    if (t == fileTime && fi.size() == fileSize)
        return;
    load();
}

void TeventScripts::clear()
{
    setEventsTemplate(std::make_shared<Ttpl>());
    parsed.clear();
}

void TeventScripts::forgetFileTime()
{
    fileTime = 0;
    fileSize = -1;
}

void TeventScripts::runTimed(qint64 secondsUp, const QDateTime &localNow)
{
    if (secondsUp <= lastSecond)
        return;
    const qint64 previous = qMax<qint64>(lastSecond, 0);
    lastSecond = secondsUp;
    const TtplPtr tpl = eventsTemplate();
    if (!tpl)
        return;
    for (const QString &name : tpl->getSections()) {
        auto it = parsed.constFind(name);
        if (it == parsed.constEnd())
            it = parsed.insert(name, parseTimedSection(name));
        const TtimedSection &t = *it;
        bool due = false;
        if (t.kind == TtimedSection::Every && t.periodSeconds >= 1)
            due = secondsUp / t.periodSeconds > previous / t.periodSeconds;
        else if (t.kind == TtimedSection::At && localNow.time().hour() == t.hour
                 && localNow.time().minute() == t.minute) {
            const auto last = lastAtRun.constFind(name);
            due = last == lastAtRun.constEnd() || last->secsTo(localNow) > kAtRepeatSeconds;
            if (due)
                lastAtRun.insert(name, localNow);
        }
        if (due)
            runTimedSection(name);
    }
}

void TeventScripts::runTimedSection(const QString &name)
{
    // A section still running (it waits in a nested loop) is not started
    // again: runs do not pile up behind a slow one.
    bool &busy = running[name];
    if (busy)
        return;
    busy = true;
    try {
        runSection(name);
    } catch (...) {
        // An error in one section leaves the others to run.
    }
    running[name] = false;
}
