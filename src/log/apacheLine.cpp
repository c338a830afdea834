#include "log/apacheLine.h"

#include "util/asciiCase.h"
#include "util/encodings.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>

#include <algorithm>

#include <cstdio>

namespace {

struct TapachePiece
{
    QByteArray literal;      // text copied as it is (UTF-8), when not a directive
    bool directive = false;
    bool hasCodes = false;
    bool negate = false;
    QStringList codes;
    QString argument;
    QByteArray argumentLatin1; // the header name of "%{name}i"
    char16_t letter = 0;
};
using TapacheFormat = QList<TapachePiece>;

TapachePiece literalPiece(const QString &text)
{
    TapachePiece p;
    p.literal = text.toUtf8();
    return p;
}

const char apacheHex[] = "0123456789ABCDEF";

// The zone of "%t": the offset from UTC when the program started.
QString startupZone()
{
    const int secs = QDateTime::currentDateTime().offsetFromUtc();
    const int mins = qAbs(secs) / 60;
    return QString(secs < 0 ? u'-' : u'+') + QString::number(mins / 60).rightJustified(2, u'0')
           + QString::number(mins % 60).rightJustified(2, u'0');
}
const QString apacheZone = startupZone();

void replaceEscape(QString &s, QStringView escape, QChar by)
{
    qsizetype at = 0;
    while ((at = indexOfText(s, escape, at)) >= 0) {
        s.replace(at, escape.size(), by);
        at += 1;
    }
}

TapacheFormat parseApacheFormat(QString format)
{
    // Each escape everywhere in turn, so "\\t" (backslash, backslash, t)
    // ends as a backslash and a tab.
    replaceEscape(format, u"\\t", u'\t');
    replaceEscape(format, u"\\r", u'\r');
    replaceEscape(format, u"\\n", u'\n');
    replaceEscape(format, u"\\\"", u'"');
    replaceEscape(format, u"\\\\", u'\\');

    static const QRegularExpression directive(QStringLiteral("%(!?[0-9,]+)?(\\{([^}]+)\\})?>?([a-z])"),
                                              QRegularExpression::CaseInsensitiveOption);
    TapacheFormat pieces;
    qsizetype from = 0;
    QRegularExpressionMatchIterator it = directive.globalMatch(format);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedStart() > from)
            pieces.append(literalPiece(format.mid(from, m.capturedStart() - from)));
        TapachePiece p;
        p.directive = true;
        QString codes = m.captured(1);
        p.hasCodes = !codes.isEmpty();
        p.negate = codes.startsWith(u'!');
        if (p.negate)
            codes.remove(0, 1);
        p.codes = codes.split(u',', Qt::SkipEmptyParts);
        p.argument = m.captured(3);
        p.argumentLatin1 = p.argument.toLatin1();
        p.letter = m.captured(4).at(0).unicode();
        pieces.append(std::move(p));
        from = m.capturedEnd();
    }
    if (from < format.size())
        pieces.append(literalPiece(format.mid(from)));
    return pieces;
}

// Parsed formats by their text: in practice one, the option's.
const TapacheFormat &cachedApacheFormat(const QString &format)
{
    // The option's text comes with every line: compared, not hashed.
    static QString lastText;
    static const TapacheFormat *last = nullptr;
    if (last && format == lastText)
        return *last;
    static QHash<QString, TapacheFormat> cache;
    auto found = cache.constFind(format);
    if (found == cache.constEnd()) {
        if (cache.size() >= 16)
            cache.clear();
        found = cache.insert(format, parseApacheFormat(format));
    }
    // Kept until the next insertion, which sets it again.
    last = &*found;
    lastText = format;
    return *last;
}

bool needsApacheEscape(char16_t c)
{
    return c < 0x20 || c == 0x7F || c == u'"' || c == u'\\';
}

void appendApacheEscape(QByteArray &out, char16_t c)
{
    if (c == u'"') {
        appendParts(out, {"\\\""});
    } else if (c == u'\\') {
        appendParts(out, {"\\\\"});
    } else {
        const char escaped[] = {'\\', 'x', apacheHex[(c >> 4) & 0xF], apacheHex[c & 0xF]};
        appendParts(out, {QByteArrayView(escaped, 4)});
    }
}

// The value as UTF-8, its control characters, quotes and backslashes
// escaped. Printable ASCII goes in runs; quotes and backslashes, printable
// but escaped, end a run.
void appendApacheValue(QByteArray &out, QStringView v)
{
    qsizetype i = 0;
    while (i < v.size()) {
        const qsizetype at = out.size();
        qsizetype run = appendAsciiRun(out, v.sliced(i), 0x20, 0x7E);
        const char *copied = out.constData() + at;
        for (qsizetype k = 0; k < run; ++k)
            if (copied[k] == '"' || copied[k] == '\\') {
                out.truncate(at + k);
                run = k;
                break;
            }
        i += run;
        if (i == v.size())
            return;
        if (needsApacheEscape(v[i].unicode())) {
            appendApacheEscape(out, v[i].unicode());
            ++i;
            continue;
        }
        // Beyond ASCII: up to the next ASCII unit, as UTF-8 (surrogate
        // pairs stay together).
        qsizetype j = i;
        while (j < v.size() && v[j].unicode() >= 0x80)
            ++j;
        out += v.sliced(i, j - i).toUtf8();
        i = j;
    }
}

// The request line as sent: UTF-8 when it is, else every byte above 127
// written "\xHH" like the control characters.
void appendApacheBytes(QByteArray &out, const QByteArray &bytes)
{
    const bool ascii = std::all_of(bytes.cbegin(), bytes.cend(), [](char ch) { return uchar(ch) < 0x80; });
    if (!ascii && isUTF8(bytes)) {
        appendApacheValue(out, QString::fromUtf8(bytes));
        return;
    }
    qsizetype from = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes[i]);
        if (b < 0x80 && !needsApacheEscape(b))
            continue;
        appendParts(out, {QByteArrayView(bytes).sliced(from, i - from)});
        appendApacheEscape(out, b);
        from = i + 1;
    }
    appendParts(out, {QByteArrayView(bytes).sliced(from)});
}

// Formatted once per second: many lines share it.
void appendApacheTime(QByteArray &out, const QDateTime &t)
{
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static qint64 cachedKey = -1;
    static QByteArray cached;
    const QDate d = t.date();
    const QTime tm = t.time();
    const qint64 key = d.toJulianDay() * 86400 + tm.msecsSinceStartOfDay() / 1000;
    if (key != cachedKey) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "[%02d/%s/%04d:%02d:%02d:%02d ", d.day(), months[d.month() - 1],
                      d.year(), tm.hour(), tm.minute(), tm.second());
        cached = QByteArray(buf) + apacheZone.toLatin1() + ']';
        cachedKey = key;
    }
    appendParts(out, {cached});
}

constexpr QByteArrayView apacheError = "ERROR";

void appendDirective(QByteArray &out, const TapachePiece &p, const TapacheRequest &r, const QString &status)
{
    if (p.hasCodes && p.codes.contains(status) == p.negate) {
        appendParts(out, {"-"});
        return;
    }
    switch (p.letter) {
    case u'a':
    case u'h':
        appendApacheValue(out, r.address);
        return;
    case u'b':
        if (r.bodyBytes == 0)
            appendParts(out, {"-"});
        else
            appendNumber(out, r.bodyBytes);
        return;
    case u'B':
        appendNumber(out, r.bodyBytes);
        return;
    case u'c':
        appendParts(out, {r.unsentAtDisconnect ? "X" : r.closesAfterReply ? "-" : "+"});
        return;
    case u'e':
        appendApacheValue(out, qEnvironmentVariable(p.argument.toLocal8Bit().constData()));
        return;
    case u'f':
        appendApacheValue(out, r.fileName);
        return;
    case u'H':
        appendParts(out, {"HTTP"});
        return;
    case u'i':
        if (!r.header)
            appendParts(out, {apacheError});
        else
            appendApacheValue(out, r.header(p.argumentLatin1));
        return;
    case u'l':
        appendParts(out, {"-"});
        return;
    case u'm':
        appendApacheValue(out, r.method);
        return;
    case u'p':
        appendApacheValue(out, r.port);
        return;
    case u'r':
        appendApacheBytes(out, r.requestLine);
        return;
    case u's':
        appendUtf8(out, status);
        return;
    case u't':
        if (!r.time.isValid())
            appendParts(out, {apacheError});
        else
            appendApacheTime(out, r.time);
        return;
    case u'u':
        if (r.user.isEmpty())
            appendParts(out, {"-"});
        else
            appendApacheValue(out, r.user);
        return;
    case u'z':
        appendApacheValue(out, r.uploaded.join(u'|'));
        return;
    default:
        appendParts(out, {"UNSUPPORTED"});
    }
}

} // namespace

void appendApacheLine(QByteArray &out, const QString &format, const TapacheRequest &r)
{
    const TapacheFormat &pieces = cachedApacheFormat(format);
    const QString status = QString::number(r.status);
    out.reserve(out.size() + format.size() + r.requestLine.size() + 64);
    for (const TapachePiece &p : pieces) {
        if (p.directive)
            appendDirective(out, p, r, status);
        else
            appendParts(out, {p.literal});
    }
}

QString apacheLine(const QString &format, const TapacheRequest &r)
{
    QByteArray line;
    appendApacheLine(line, format, r);
    return QString::fromUtf8(line);
}
