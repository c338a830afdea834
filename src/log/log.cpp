#include "log/log.h"

#include "http/httpConn.h"

#include "util/dateTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::function<void(const QString &, ThttpConn *, TlogKind)> &writer()
{
    static std::function<void(const QString &, ThttpConn *, TlogKind)> w;
    return w;
}

bool quiet = false;

void writeToStderr(const QString &line, ThttpConn *conn)
{
    // The clock read keeps the zone offset cached; a QDateTime conversion
    // would consult the zone file for every line.
    const TdateTime t = now();
    const int secs = std::clamp(int((t - std::floor(t)) * 86400.0), 0, 86399);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", secs / 3600, secs / 60 % 60, secs % 60);
    QString out = QString::fromLatin1(stamp);
    if (conn)
        out += conn->P_address + u':' + conn->P_port + u' ';
    out += line;
    // One line per entry: breaks inside the text are shown, not obeyed.
    out.replace(QLatin1String("\r\n"), QLatin1String(" | "));
    out.replace(u'\n', QLatin1String(" | "));
    out.replace(u'\r', u' ');
    const QByteArray bytes = out.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

}

void add2log(const QString &line, ThttpConn *conn, TlogKind kind)
{
    if (quiet)
        return;
    if (writer())
        writer()(line, conn, kind);
    else
        writeToStderr(line, conn);
}

void setLogWriter(std::function<void(const QString &, ThttpConn *, TlogKind)> w)
{
    writer() = std::move(w);
}

void setLogQuiet(bool on)
{
    quiet = on;
}
