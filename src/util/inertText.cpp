#include "util/inertText.h"

namespace {

bool isAsciiLetter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isSymbolChar(char16_t c)
{
    return isAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_';
}

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The index of the "%" closing the symbol that opens at `at`, or -1.
qsizetype symbolEnd(QStringView text, qsizetype at)
{
    qsizetype p = at + 1;
    if (p >= text.size() || !(isAsciiLetter(text[p].unicode()) || text[p] == u'_'))
        return -1;
    bool hexOnly = true;
    for (; p < text.size() && isSymbolChar(text[p].unicode()); ++p)
        hexOnly = hexOnly && isHexDigit(text[p].unicode());
    if (p >= text.size() || text[p] != u'%' || hexOnly)
        return -1;
    return p;
}

bool holdsMarker(QStringView text)
{
    // Every two-character marker holds a brace: only braces and pipes are
    // looked at closely.
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'|')
            return true;
        if (c == u'{') {
            if (i + 1 < n && (text[i + 1] == u'.' || text[i + 1] == u':'))
                return true;
        } else if (c == u'}') {
            if (i > 0 && (text[i - 1] == u'.' || text[i - 1] == u':'))
                return true;
        }
    }
    return false;
}

} // namespace

QString disarmSymbols(const QString &text)
{
    qsizetype at = text.indexOf(u'%');
    if (at < 0)
        return text;
    QString out;
    qsizetype copied = 0;
    for (; at >= 0; at = text.indexOf(u'%', at + 1)) {
        const qsizetype end = symbolEnd(text, at);
        if (end < 0)
            continue;
        out += QStringView(text).mid(copied, at - copied);
        out += QLatin1String("&#37;");
        copied = at + 1;
        // The closing "%" may open the next symbol ("%a%b%"): it is looked at next.
        at = end - 1;
    }
    if (copied == 0)
        return text;
    out += QStringView(text).mid(copied);
    return out;
}

QString makeInert(const QString &text)
{
    QString s = disarmSymbols(text);
    if (!holdsMarker(s))
        return s;
    s.replace(QLatin1String(":}"), QLatin1String("&#58;}"));
    s.replace(QLatin1String("{:"), QLatin1String("&#123;:"));
    return QLatin1String("{:") + s + QLatin1String(":}");
}

QString plainFromInert(QString text)
{
    if (!text.contains(u'{') && !text.contains(u'&'))
        return text;
    text.remove(QLatin1String("{:"));
    text.remove(QLatin1String(":}"));
    static const struct {
        QLatin1String ref;
        QChar c;
    } refs[] = {{QLatin1String("&#37;"), u'%'},
                {QLatin1String("&#46;"), u'.'},
                {QLatin1String("&#58;"), u':'},
                {QLatin1String("&#123;"), u'{'},
                {QLatin1String("&#124;"), u'|'}};
    for (const auto &r : refs)
        text.replace(r.ref, QString(r.c));
    return text;
}
