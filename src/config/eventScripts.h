#pragma once
// The event scripts: the events file of the configuration folder, read at
// start-up and again whenever it changes, and its timed sections, run by the
// clock. Connection and program events run their sections through the macro
// engine, which holds the loaded template.
#include "config/timedSection.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <functional>

class TeventScripts
{
public:
    // `path` is the events file; `runSection` runs one section (the macro
    // engine in the program, a recorder in tests).
    TeventScripts(QString path, std::function<void(const QString &section)> runSection);

    // Reads the file; a missing or unreadable file gives no scripts.
    void load();
    // Once a second: reads the file again when it exists and its time or
    // size changed. A deleted file keeps the scripts in force.
    void reloadWhenChanged();
    // Options reset for a while: no scripts, the file's time kept.
    void clear();
    // Options restored: the file is read again at the next check.
    void forgetFileTime();

    // Once a second: the timed sections that are due. `secondsUp` counts
    // from the program's start; seconds the clock missed are made up by at
    // most one run per section.
    void runTimed(qint64 secondsUp, const QDateTime &localNow);

    const QString &path() const { return file; }

private:
    void runTimedSection(const QString &name);

    QString file;
    std::function<void(const QString &)> runSection;
    qint64 fileTime = 0, fileSize = -1;
    qint64 lastSecond = -1;
    QHash<QString, QDateTime> lastAtRun; // "at" sections, by name
    QHash<QString, TtimedSection> parsed; // section names seen, parsed once
    QHash<QString, bool> running;         // a run that waits must not be joined by the next
};
