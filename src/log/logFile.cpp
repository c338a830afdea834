#include "log/logFile.h"

#include "log/logEntry.h"
#include "log/stderrLog.h"
#include "util/asciiCase.h"
#include "util/bytePath.h"
#include "util/encodings.h"
#include "util/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QList>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

void replaceAllText(QString &s, QStringView token, const QString &value)
{
    qsizetype at = 0;
    while ((at = indexOfText(s, token, at)) >= 0) {
        s.replace(at, token.size(), value);
        at += value.size();
    }
}

QString twoDigits(int n)
{
    return QString::number(n).rightJustified(2, u'0');
}

QString fileNameSafe(const QString &user)
{
    QString s = user;
    for (QChar &c : s)
        if (c == u'/' || c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'_';
    return s;
}

// A field of the tab-separated line.
void appendField(QByteArray &out, QStringView value)
{
    if (!value.contains(u'\t') && !value.contains(u'\r') && !value.contains(u'\n')) {
        appendUtf8(out, value);
        return;
    }
    QString s = value.toString();
    for (QChar &c : s)
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    appendUtf8(out, s);
}

int openLogFile(const QByteArray &path)
{
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    return ::open(path.constData(), flags, 0640);
}

// A failure is told once; the next success makes the next failure news.
bool logFileFailing = false;

void reportLogFileFailure(const QString &fileName, int error)
{
    if (logFileFailing)
        return;
    logFileFailing = true;
    QByteArray text = "zof: cannot write the log file \"";
    appendUtf8(text, fileName);
    text += "\": ";
    text += std::strerror(error);
    text += " (entries are lost until it can be written again)\n";
    queueStderr(text);
}

// Lines wait here for the end of the event loop's pass, by file, in order.
struct TpendingLogLines
{
    QString fileName;
    QByteArray bytes;
};

QList<TpendingLogLines> &pendingLogLines()
{
    static QList<TpendingLogLines> pending;
    return pending;
}
qsizetype pendingLogBytes = 0;

// The file written last stays open: a server that logs every request would
// otherwise open and close it on every pass of the event loop. Before each
// write its name is looked up again (one stat): when the name no longer leads
// to the open file (renamed, deleted, replaced), the name is opened anew, so
// moving the file away between writes is as harmless as with a file opened
// per write. Appends of whole lines at once also keep them whole beside
// other writers.
struct TopenLogFile
{
    QString target;
    int fd = -1;
    dev_t dev = 0;
    ino_t ino = 0;

    ~TopenLogFile() { close(); }
    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        target.clear();
    }
};

TopenLogFile &openLog()
{
    static TopenLogFile open;
    return open;
}

// The open descriptor for `target`, opened (and its folder made) when
// needed; -1 with the failure told.
int logFileFor(const QString &target)
{
    TopenLogFile &open = openLog();
    const QByteArray path = bytePath(target);
    if (open.fd >= 0 && open.target == target) {
        struct stat st;
        if (::stat(path.constData(), &st) == 0 && st.st_dev == open.dev && st.st_ino == open.ino)
            return open.fd;
    }
    open.close();
    if (!isValidFilePath(target)) {
        reportLogFileFailure(target, EINVAL);
        return -1;
    }
    int fd = openLogFile(path);
    int openError = errno;
    if (fd < 0 && openError == ENOENT && QDir().mkpath(QFileInfo(target).absolutePath())) {
        fd = openLogFile(path);
        openError = errno;
    }
    if (fd < 0) {
        reportLogFileFailure(target, openError);
        return -1;
    }
    // Only a regular file: a FIFO or a device would block or swallow the log.
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        reportLogFileFailure(target, EINVAL);
        return -1;
    }
    open.target = target;
    open.fd = fd;
    open.dev = st.st_dev;
    open.ino = st.st_ino;
    return fd;
}

// `target` is an absolute name.
bool writeLogFile(const QString &target, const QByteArray &bytes)
{
    const int fd = logFileFor(target);
    if (fd < 0)
        return false;
    // A short write (a full disk) is finished or reported.
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    int error = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        data += n;
        left -= n;
    }
    if (error) {
        openLog().close(); // opened again by name for the next lines
        reportLogFileFailure(target, error);
        return false;
    }
    logFileFailing = false;
    return true;
}

} // namespace

QString expandLogFileName(const QString &pattern, const QDateTime &now, const QString &user)
{
    if (!pattern.contains(u'%'))
        return pattern;
    const QDate d = now.date();
    QString s = pattern;
    replaceAllText(s, u"%d%", twoDigits(d.day()));
    replaceAllText(s, u"%m%", twoDigits(d.month()));
    replaceAllText(s, u"%y%", QString::number(d.year()).rightJustified(4, u'0'));
    replaceAllText(s, u"%dow%", twoDigits(d.dayOfWeek() % 7));
    replaceAllText(s, u"%w%", twoDigits(d.weekNumber()));
    replaceAllText(s, u"%user%", user.isEmpty() ? QString() : u'(' + fileNameSafe(user) + u')');
    return s;
}

QByteArray logFileLine(const TlogEntry &e, bool tabbed)
{
    QByteArray out;
    out.reserve(64 + e.first.size() * 3);
    appendField(out, e.stamp);
    out += '\t';
    appendField(out, e.peer.user);
    out += '\t';
    appendField(out, e.peer.address);
    out += '\t';
    appendField(out, e.peer.port);
    out += '\t';
    appendField(out, e.peer.name);
    out += '\t';
    appendField(out, e.first);
    if (tabbed) {
        for (const QString &more : e.more) {
            out += '\t';
            appendField(out, more);
        }
    } else if (!e.more.isEmpty()) {
        out += "\r\n";
        for (const QString &more : e.more) {
            out += "> ";
            appendUtf8(out, more);
            out += "\r\n";
        }
    }
    if (!out.endsWith("\r\n"))
        out += "\r\n";
    return out;
}

void appendLogLine(const QString &fileName, const QByteArray &line)
{
    // The list exists before the exit handler is registered, so it is
    // destroyed after the handler ran.
    // So does the open file's record, which the last flush uses.
    QList<TpendingLogLines> &pending = pendingLogLines();
    static bool exitFlushRegistered = false;
    if (!exitFlushRegistered) {
        exitFlushRegistered = true;
        openLog();
        std::atexit([] { flushLogFiles(); });
    }
    // A relative name is taken against the files' folder of the moment.
    const QString target = absoluteFilePath(fileName);
    const bool first = pending.isEmpty();
    if (!first && pending.last().fileName == target)
        pending.last().bytes += line;
    else
        pending.append(TpendingLogLines{target, line});
    pendingLogBytes += line.size();
    // Without an event loop to come back to, or with a lot waiting, now.
    if (!QCoreApplication::instance() || pendingLogBytes >= 64 * 1024) {
        flushLogFiles();
        return;
    }
    // A posted call runs once the pass ends, and costs less than a timer.
    if (first)
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] { flushLogFiles(); }, Qt::QueuedConnection);
}

bool flushLogFiles()
{
    const QList<TpendingLogLines> lines = std::exchange(pendingLogLines(), {});
    pendingLogBytes = 0;
    bool ok = true;
    for (const TpendingLogLines &p : lines)
        ok = writeLogFile(p.fileName, p.bytes) && ok;
    return ok;
}
