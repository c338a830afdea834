#pragma once
// One log entry taken apart the way every output writes it: the time stamp,
// the client part, the first line and the continuation lines.

#include "log/log.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

struct TlogEntry
{
    QString stamp;      // empty when neither date nor time is logged
    TlogPeer peer;
    QString client;     // "[user@]address:port {name}", empty without a client
    QString first;      // the entry's text
    QStringList more;   // continuation lines, without their "> "
    TlogColour colour;  // of the first line
};

// "date time", "date", "time" or empty, as the settings ask. The date is the
// system's short date form, or "yyyy-MM-dd" with isoDate.
QString logTimeStamp(const QDateTime &time, const TlogSettings &settings);

// "[user@]address:port {name}": the user only when there is one, an IPv6
// address inside "[" "]", the name only when there is one. Empty when the
// peer has no address.
QString logClientPart(const TlogPeer &peer);

// Splits `lines` at CR LF, LF or CR. A break at the very end closes the last
// line rather than opening an empty one.
TlogEntry makeLogEntry(const QString &lines, const TlogPeer &peer, TlogColour colour, const QString &stamp);

// The entry as a text terminal shows it: the view's lines ("stamp  client
// text", then "> line"), each ended with LF, as UTF-8. Control characters
// other than TAB are written as "\xHH", so that text from clients cannot
// drive the terminal.
void appendLogScreenText(QByteArray &out, const TlogEntry &entry);
// The same for an entry of one line (no CR, no LF in `text`), written
// without making the entry first.
void appendLogScreenLine(QByteArray &out, const QString &stamp, const TlogPeer &peer, QStringView text);
