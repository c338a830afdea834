#include "serve/httpsRedirect.h"

namespace {
bool hostChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' || u == '-'
        || u == '_';
}

// The host part of a Host header: a name, an IPv4 address or a bracketed
// IPv6 address, without its port.
QString hostOf(QStringView header)
{
    const QStringView h = header.trimmed();
    if (h.startsWith(u'[')) {
        const qsizetype close = h.indexOf(u']');
        if (close < 2)
            return {};
        const QStringView inner = h.sliced(1, close - 1);
        for (QChar c : inner)
            if (!(c.isDigit() || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u':' || c == u'.'))
                return {};
        const QStringView rest = h.sliced(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return {};
        return h.first(close + 1).toString();
    }
    const qsizetype colon = h.indexOf(u':');
    const QStringView name = colon < 0 ? h : h.first(colon);
    if (name.isEmpty())
        return {};
    for (QChar c : name)
        if (!hostChar(c))
            return {};
    return name.toString();
}
}

QString httpsLocation(QStringView hostHeader, QStringView httpsPort, QByteArrayView target)
{
    const QString host = hostOf(hostHeader);
    if (host.isEmpty())
        return {};
    QString url = QStringLiteral("https://") + host;
    if (httpsPort != u"443")
        url += u':' + httpsPort.toString();
    // Only an origin-form target is kept; the bytes were checked by the
    // request parser and stay percent-encoded as sent.
    if (target.startsWith('/') && !target.startsWith("//"))
        url += QString::fromLatin1(target);
    else
        url += u'/';
    return url;
}
