#include "net/addressReply.h"

#include "util/addresses.h"

#include <QRegularExpression>

TaddressService splitServiceEntry(const QString &entry)
{
    const qsizetype bar = entry.indexOf(u'|');
    if (bar < 0)
        return {entry, {}};
    return {entry.left(bar), entry.mid(bar + 1)};
}

QStringList serviceEntries(const QString &listText)
{
    QStringList out;
    const QStringList lines = listText.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (const QString &l : lines) {
        const QString t = l.trimmed();
        if (t.startsWith(u"http://"))
            out.append(t);
    }
    return out;
}

QString builtInServiceList()
{
    // A public check-IP page answering «Current IP Address: a.b.c.d».
    return QStringLiteral("http://checkip.dyndns.org/|:\n");
}

QString pickService(const QStringList &entries, const QString &last,
                    const std::function<int(int)> &randomBelow)
{
    if (entries.isEmpty())
        return {};
    QString pick;
    do
        pick = entries.at(randomBelow(int(entries.size())));
    while (pick == last && entries.size() > 1);
    return pick;
}

QString addressInReply(const QString &reply, const QString &marker)
{
    QString s = reply;
    if (!marker.isEmpty()) {
        const qsizetype at = s.indexOf(marker);
        s = at < 0 ? QString() : s.mid(at + marker.size());
    }
    s = s.trimmed();
    if (s.isEmpty())
        return {};
    qsizetype n = 1;
    while (n < s.size() && n < 15 && ((s.at(n) >= u'0' && s.at(n) <= u'9') || s.at(n) == u'.'))
        ++n;
    QString a = s.left(n);
    while (a.endsWith(u'.'))
        a.chop(1);
    return a;
}

bool isExternalAddress(const QString &candidate)
{
    return isIpAddress(candidate) && !isLocalAddress(candidate);
}

QString serviceHost(const QString &url)
{
    static const QRegularExpression host(QStringLiteral("([a-z]+://)?([^/]+@)?([^/]+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    return host.match(url).captured(3);
}
