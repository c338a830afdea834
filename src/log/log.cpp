#include "log/log.h"

#include "log/logEntry.h"
#include "log/logFile.h"
#include "log/logModel.h"
#include "log/stderrLog.h"
#include "util/dateTime.h"

namespace {

bool logQuiet = false;
bool logToStderr = true;
bool logKeptForView = true;

// The current second and its time stamp: entries come in bursts, and the
// coarse clock and one formatting per second keep them cheap.
struct TlogClock
{
    qint64 second = -1;
    QDateTime time;
    QString stamp;
    bool stampDate = false, stampTime = false, stampIso = false;

    void update(const TlogSettings &s)
    {
        const TdateTime t = nowCoarse();
        const qint64 sec = stepOf(t, 1000).value_or(-1);
        const bool moved = sec != second || sec < 0;
        if (moved) {
            second = sec;
            time = fromDateTime(t);
        }
        if (moved || s.date != stampDate || s.time != stampTime || s.isoDate != stampIso) {
            stampDate = s.date;
            stampTime = s.time;
            stampIso = s.isoDate;
            stamp = logTimeStamp(time, s);
        }
    }
};

} // namespace

void add2log(const QString &lines, const TlogPeer &peer, TlogColour colour)
{
    if (logQuiet)
        return;
    const TlogSettings &s = logSettings();
    // The access log, when its format is set, takes the file's place.
    const bool toFile = !s.fileName.isEmpty() && s.apacheFormat.isEmpty();
    if (!s.toScreen && !toFile)
        return;
    static TlogClock clock;
    clock.update(s);
    TlogModel *model = logKeptForView && s.toScreen ? TlogModel::find() : nullptr;
    // The usual entry, one line for standard error alone, goes there
    // without being made an entry first.
    if (!toFile && !model && logToStderr && !lines.contains(u'\n') && !lines.contains(u'\r')) {
        TstderrWriter out;
        appendLogScreenLine(out.text(), clock.stamp, peer, lines);
        return;
    }
    const TlogEntry entry = makeLogEntry(lines, peer, colour, clock.stamp);
    if (toFile)
        appendLogLine(expandLogFileName(s.fileName, clock.time, peer.user), logFileLine(entry, s.fileTabbed));
    if (!s.toScreen)
        return;
    // Without a window nobody reads the model: "no limit" would only grow
    // a headless server's memory with every entry, which standard error
    // already has.
    const qint64 kept = s.maxLines > 0 || !logToStderr ? s.maxLines : headlessLogLines;
    if (model)
        model->append(entry, kept);
    if (logToStderr) {
        TstderrWriter out;
        appendLogScreenText(out.text(), entry);
    }
}

void setLogQuiet(bool on)
{
    logQuiet = on;
}

void setLogToStderr(bool on)
{
    logToStderr = on;
}

void setLogKeptForView(bool on)
{
    logKeptForView = on;
}
