#pragma once
// The one entry point for log entries. An entry goes to the log view's
// model, to standard error while the program has no window, and to the log
// file, as the log settings say.

#include "log/logColour.h"
#include "log/logSettings.h"

#include <QString>

// The client an entry is about, shown as "[user@]address:port {name}" in
// front of the text. All empty for entries about no client. The caller
// fills `name` from the address-to-name list.
struct TlogPeer
{
    QString user;
    QString address; // bare, also for IPv6
    QString port;
    QString name;

    bool isEmpty() const { return address.isEmpty() && port.isEmpty() && user.isEmpty() && name.isEmpty(); }
};

// Writes one entry. `lines` holds one or more lines (CR LF, LF or CR
// between them): the first is the entry's text, the others its
// continuation block. `colour` is the colour of the first line.
void add2log(const QString &lines, const TlogPeer &peer = {}, TlogColour colour = TlogColour());

// Entries given to add2log are dropped altogether (benchmarks, quiet tests).
void setLogQuiet(bool quiet);
// Lines a program without a window keeps when the limit is 0 (no limit).
constexpr qint64 headlessLogLines = 2000;

// Whether screen entries are also copied to standard error (on by default;
// a program that shows the log in a window turns it off).
void setLogToStderr(bool on);

// Whether entries are kept in the model for a log view (on by default). A
// program that never has a window turns it off: nothing would read them.
void setLogKeptForView(bool on);
