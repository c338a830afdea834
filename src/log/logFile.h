#pragma once
// The log file: its name for the moment, its line for an entry, and the
// append that opens, writes and closes it.

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct TlogEntry;

// The pattern with, ignoring case, "%d%" the day, "%m%" the month (two
// digits each), "%y%" the year (four), "%dow%" the day of the week (Sunday
// "00" to Saturday "06"), "%w%" the ISO week (two digits) and "%user%" the
// user inside "(" ")" (nothing without a user). A "/" or a control
// character in the user name becomes "_": a name cannot lead elsewhere.
QString expandLogFileName(const QString &pattern, const QDateTime &now, const QString &user);

// time stamp TAB user TAB address TAB port TAB name TAB text; then each
// continuation line after a TAB when `tabbed`, else CR LF and the block of
// "> " lines; ended with CR LF; UTF-8. A TAB, CR or LF inside a field is
// written as a space, so no value can add a field or a line.
QByteArray logFileLine(const TlogEntry &entry, bool tabbed);

// Appends `line` to the file (a relative name is taken against the files'
// base folder), created with mode 0640 and missing folders when needed.
// Lines wait for the end of the event loop's pass (or 64 KiB): then each
// file is opened, appended in one write and closed, so a burst of requests
// costs one write and renaming or deleting the file between passes is
// harmless. A failure is reported once on standard error, not again until
// a write has succeeded; every pass tries anew.
void appendLogLine(const QString &fileName, const QByteArray &line);
// Writes the waiting lines now (also done at exit); false when one failed.
bool flushLogFiles();
