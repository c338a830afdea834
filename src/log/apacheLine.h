#pragma once
// The access-log line of a request in a format of "%" directives (as
// common web servers write theirs). It runs once per request while the
// access log is on: the format is parsed once per distinct text.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

// What the line can tell about a request; the server fills it.
struct TapacheRequest
{
    QString address;
    qint64 bodyBytes = 0;            // of the reply, sent
    bool unsentAtDisconnect = false; // reply bytes were left when the connection ended
    bool closesAfterReply = false;
    QString fileName;                // of the requested item
    QString method;
    QString port;                    // the server's
    QByteArray requestLine;
    int status = 0;
    QDateTime time;
    QString user;
    QStringList uploaded;            // names uploaded by this request
    std::function<QString(QByteArrayView name)> header; // request header by name, "" if none
};

// The format's escapes (\t \r \n \" \\, in this order, ignoring case) are
// replaced, then each directive "%[!][codes][{argument}][>]letter":
//   a h  client address          b  body bytes, "-" for none    B  body bytes
//   c    "X" reply cut off, "-" connection closes after it, "+" it stays
//   e    environment variable {name}    f  item name    H  "HTTP"
//   i    request header {name}          l  "-"          m  method
//   p    server port    r  request line     s  status   u  user or "-"
//   t    [dd/Mon/yyyy:hh:mm:ss +hhmm], the zone as at start-up
//   z    uploaded names joined by "|"
// Any other letter gives "UNSUPPORTED", a value that cannot be had "ERROR".
// A list of codes (200,304) keeps the value only for those statuses, "!"
// only for the others; "-" otherwise.
// In values, control characters are written "\xHH", a double quote "\""
// and a backslash "\\": a request cannot add a line or break a quoted field.
QString apacheLine(const QString &format, const TapacheRequest &r);
// The same line appended to `out` as UTF-8, as the log file takes it.
void appendApacheLine(QByteArray &out, const QString &format, const TapacheRequest &r);
