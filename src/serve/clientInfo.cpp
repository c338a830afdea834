#include "serve/clientInfo.h"

#include "util/addresses.h"
#include "util/asciiCase.h"

#include <QList>

namespace {

QString agentName(const QString &userAgent)
{
    QString s = userAgent;
    s.remove(u'<').remove(u'>');
    static const char16_t *const names[] = {u"Crazy Browser", u"iPhone", u"iPod", u"iPad", u"Chrome",
                                            u"WebKit", u"Opera", u"MSIE", u"Mozilla"};
    for (const char16_t *n : names) {
        const QStringView name(n);
        const qsizetype at = s.indexOf(name);
        if (at < 0)
            continue;
        if (at == 0) {
            QString r = s.section(u' ', 0, 0);
            const qsizetype slash = r.indexOf(u'/');
            return slash >= 0 ? r.left(slash) : r;
        }
        const qsizetype semi = s.indexOf(u';', at);
        return semi < 0 ? s.mid(at) : s.mid(at, semi - at);
    }
    return s;
}

} // namespace

QString recognizeAgent(const QString &userAgent)
{
    // A client sends the same agent with every request.
    static bool known = false;
    static QString lastAgent, lastName;
    if (!known || userAgent != lastAgent) {
        lastAgent = userAgent;
        lastName = agentName(userAgent);
        known = true;
    }
    return lastName;
}

QString forwardedAddress(const QString &forwardedFor)
{
    QString a = forwardedFor.section(u',', 0, 0).trimmed();
    if (a.startsWith(u'[')) {
        // "[v6]" or "[v6]:port"
        const qsizetype close = a.indexOf(u']');
        if (close < 0)
            return {};
        const QString rest = a.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return {};
        a = a.mid(1, close - 1);
    } else if (a.count(u':') == 1) {
        // "a.b.c.d:port"; more colons make an IPv6 address, kept whole.
        a = a.section(u':', 0, 0);
    }
    return isIpAddress(a) ? a : QString();
}

QString cleanHost(const QString &host)
{
    QString r;
    r.reserve(host.size());
    for (QChar c : host) {
        const char16_t u = c.unicode();
        if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-'
            || u == u'.' || u == u':' || u == u'_')
            r += c;
    }
    return r;
}

bool acceptsPage(const QString &accept)
{
    for (QStringView range : QStringView(accept).split(u',')) {
        const QList<QStringView> parts = range.split(u';');
        const QStringView type = parts.first().trimmed();
        if (!sameText(type, u"text/html") && !sameText(type, u"application/xhtml+xml"))
            continue;
        // "q=0" says "not this one".
        bool refused = false;
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QStringView p = parts[i].trimmed();
            if (startsWithText(p, u"q=") && p.sliced(2).toDouble() == 0)
                refused = true;
        }
        if (!refused)
            return true;
    }
    return false;
}
