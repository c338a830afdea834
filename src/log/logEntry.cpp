#include "log/logEntry.h"

#include "util/encodings.h"

#include <QLocale>

#include <algorithm>

namespace {

bool isTerminalControl(char16_t c)
{
    return (c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F);
}

// Printable ASCII and tabs: copied as they are, in one pass.
bool appendPlainAscii(QByteArray &out, QStringView line)
{
    const qsizetype at = out.size();
    for (qsizetype i = 0;;) {
        i += appendAsciiRun(out, line.sliced(i), 0x20, 0x7E);
        if (i == line.size())
            return true;
        if (line[i] != u'\t') {
            out.truncate(at);
            return false;
        }
        out += '\t';
        ++i;
    }
}

void appendScreenLine(QByteArray &out, QStringView line)
{
    if (appendPlainAscii(out, line))
        return;
    bool clean = true;
    for (const QChar c : line)
        if (isTerminalControl(c.unicode())) {
            clean = false;
            break;
        }
    if (clean) {
        appendUtf8(out, line);
        return;
    }
    static const char hex[] = "0123456789abcdef";
    qsizetype from = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char16_t c = line[i].unicode();
        if (!isTerminalControl(c))
            continue;
        appendUtf8(out, line.sliced(from, i - from));
        out += "\\x";
        out += hex[(c >> 4) & 0xF];
        out += hex[c & 0xF];
        from = i + 1;
    }
    appendUtf8(out, line.sliced(from));
}

// The pieces of "[user@]address:port {name}", in order; none without an
// address.
template <typename F>
void forEachClientPiece(const TlogPeer &peer, F put)
{
    if (peer.address.isEmpty())
        return;
    const bool v6 = peer.address.contains(u':');
    if (!peer.user.isEmpty()) {
        put(QStringView(peer.user));
        put(QStringView(u"@"));
    }
    if (v6)
        put(QStringView(u"["));
    put(QStringView(peer.address));
    put(v6 ? QStringView(u"]:") : QStringView(u":"));
    put(QStringView(peer.port));
    if (!peer.name.isEmpty()) {
        put(QStringView(u" {"));
        put(QStringView(peer.name));
        put(QStringView(u"}"));
    }
}

} // namespace

QString logTimeStamp(const QDateTime &time, const TlogSettings &settings)
{
    if (!settings.date && !settings.time)
        return QString();
    static const QString timeFormat = QStringLiteral("hh:mm:ss");
    if (!settings.date)
        return time.toString(timeFormat);
    // The system's form is looked up once: it is the same for the whole run.
    static const QString systemDate = QLocale::system().dateFormat(QLocale::ShortFormat);
    const QString date = time.toString(settings.isoDate ? QStringLiteral("yyyy-MM-dd") : systemDate);
    return settings.time ? date + u' ' + time.toString(timeFormat) : date;
}

QString logClientPart(const TlogPeer &peer)
{
    if (peer.address.isEmpty())
        return QString();
    // Written into one buffer of the final size: no growth, no temporary.
    qsizetype size = 0;
    forEachClientPiece(peer, [&size](QStringView piece) { size += piece.size(); });
    QString s(size, Qt::Uninitialized);
    QChar *d = s.data();
    forEachClientPiece(peer, [&d](QStringView piece) { d = std::copy(piece.begin(), piece.end(), d); });
    return s;
}

TlogEntry makeLogEntry(const QString &lines, const TlogPeer &peer, TlogColour colour, const QString &stamp)
{
    TlogEntry e;
    e.stamp = stamp;
    e.peer = peer;
    e.client = logClientPart(peer);
    e.colour = colour;
    // Most entries are one line: shared, not copied.
    if (!lines.contains(u'\n') && !lines.contains(u'\r')) {
        e.first = lines;
        return e;
    }
    const qsizetype n = lines.size();
    qsizetype start = 0;
    bool first = true;
    for (qsizetype i = 0; i <= n; ++i) {
        const bool atEnd = i == n;
        const QChar c = atEnd ? QChar() : lines[i];
        if (!atEnd && c != u'\r' && c != u'\n')
            continue;
        if (atEnd && !first && start == n)
            break; // the text ended with a line break
        QString line = lines.mid(start, i - start);
        if (first)
            e.first = std::move(line);
        else
            e.more.append(std::move(line));
        first = false;
        if (!atEnd && c == u'\r' && i + 1 < n && lines[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    return e;
}

void appendLogScreenText(QByteArray &out, const TlogEntry &entry)
{
    appendScreenLine(out, entry.stamp);
    appendParts(out, {"  "});
    if (!entry.client.isEmpty()) {
        appendScreenLine(out, entry.client);
        appendParts(out, {"  "});
    }
    appendScreenLine(out, entry.first);
    appendParts(out, {"\n"});
    for (const QString &line : entry.more) {
        appendParts(out, {"> "});
        appendScreenLine(out, line);
        appendParts(out, {"\n"});
    }
}

// Each character is written on its own (copied, converted or escaped), so
// the client part written piece by piece gives the bytes of the whole.
void appendLogScreenLine(QByteArray &out, const QString &stamp, const TlogPeer &peer, QStringView text)
{
    appendScreenLine(out, stamp);
    appendParts(out, {"  "});
    if (!peer.address.isEmpty()) {
        forEachClientPiece(peer, [&out](QStringView piece) { appendScreenLine(out, piece); });
        appendParts(out, {"  "});
    }
    appendScreenLine(out, text);
    appendParts(out, {"\n"});
}
