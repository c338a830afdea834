#include "log/log.h"

#include "http/httpConn.h"

#include <QDateTime>

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
    QString out = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss "));
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
