#include "log/apacheLine.h"

#include "util/asciiCase.h"
#include "util/encodings.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>

#include <cstdio>

namespace {

struct TapachePiece
{
    QString literal;         // text copied as it is, when not a directive
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
    p.literal = text;
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

void appendApacheValue(QString &out, QStringView v)
{
    qsizetype from = 0;
    for (qsizetype i = 0; i < v.size(); ++i) {
        const char16_t c = v[i].unicode();
        if (!needsApacheEscape(c))
            continue;
        out += v.sliced(from, i - from);
        if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += QChar(c);
        } else {
            out += QLatin1String("\\x");
            out += QLatin1Char(apacheHex[c >> 4]);
            out += QLatin1Char(apacheHex[c & 0xF]);
        }
        from = i + 1;
    }
    out += v.sliced(from);
}

// The request line as sent: UTF-8 when it is, else every byte above 127
// written "\xHH" like the control characters.
void appendApacheBytes(QString &out, const QByteArray &bytes)
{
    if (isUTF8(bytes)) {
        appendApacheValue(out, QString::fromUtf8(bytes));
        return;
    }
    for (const char ch : bytes) {
        const uchar b = uchar(ch);
        if (b >= 0x80) {
            out += QLatin1String("\\x");
            out += QLatin1Char(apacheHex[b >> 4]);
            out += QLatin1Char(apacheHex[b & 0xF]);
        } else {
            const QChar c(b);
            appendApacheValue(out, QStringView(&c, 1));
        }
    }
}

// Formatted once per second: many lines share it.
void appendApacheTime(QString &out, const QDateTime &t)
{
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static qint64 cachedKey = -1;
    static QString cached;
    const QDate d = t.date();
    const QTime tm = t.time();
    const qint64 key = d.toJulianDay() * 86400 + tm.msecsSinceStartOfDay() / 1000;
    if (key != cachedKey) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "[%02d/%s/%04d:%02d:%02d:%02d ", d.day(), months[d.month() - 1],
                      d.year(), tm.hour(), tm.minute(), tm.second());
        cached = QLatin1String(buf) + apacheZone + u']';
        cachedKey = key;
    }
    out += cached;
}

const QString apacheError = QStringLiteral("ERROR");

void appendDirective(QString &out, const TapachePiece &p, const TapacheRequest &r, const QString &status)
{
    if (p.hasCodes && p.codes.contains(status) == p.negate) {
        out += u'-';
        return;
    }
    switch (p.letter) {
    case u'a':
    case u'h':
        appendApacheValue(out, r.address);
        return;
    case u'b':
        if (r.bodyBytes == 0)
            out += u'-';
        else
            out += QString::number(r.bodyBytes);
        return;
    case u'B':
        out += QString::number(r.bodyBytes);
        return;
    case u'c':
        out += r.unsentAtDisconnect ? u'X' : r.closesAfterReply ? u'-' : u'+';
        return;
    case u'e':
        appendApacheValue(out, qEnvironmentVariable(p.argument.toLocal8Bit().constData()));
        return;
    case u'f':
        appendApacheValue(out, r.fileName);
        return;
    case u'H':
        out += QLatin1String("HTTP");
        return;
    case u'i':
        if (!r.header)
            out += apacheError;
        else
            appendApacheValue(out, r.header(p.argumentLatin1));
        return;
    case u'l':
        out += u'-';
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
        out += status;
        return;
    case u't':
        if (!r.time.isValid())
            out += apacheError;
        else
            appendApacheTime(out, r.time);
        return;
    case u'u':
        if (r.user.isEmpty())
            out += u'-';
        else
            appendApacheValue(out, r.user);
        return;
    case u'z':
        appendApacheValue(out, r.uploaded.join(u'|'));
        return;
    default:
        out += QLatin1String("UNSUPPORTED");
    }
}

} // namespace

QString apacheLine(const QString &format, const TapacheRequest &r)
{
    const TapacheFormat &pieces = cachedApacheFormat(format);
    const QString status = QString::number(r.status);
    QString out;
    out.reserve(format.size() + r.requestLine.size() + 64);
    for (const TapachePiece &p : pieces) {
        if (p.directive)
            appendDirective(out, p, r, status);
        else
            out += p.literal;
    }
    return out;
}
