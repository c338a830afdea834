#include "util/addresses.h"

#include <QHash>
#include <arpa/inet.h>
#include <cstring>

namespace {

// Copies ASCII text without NUL or white space into `buf`; false otherwise.
// The C parsers stop at white space, and such text is no address.
bool toAsciiBuffer(QStringView text, char *buf, size_t bufSize)
{
    if (text.isEmpty() || size_t(text.size()) >= bufSize)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c <= 32 || c >= 127)
            return false;
        buf[i] = char(c);
    }
    buf[text.size()] = 0;
    return true;
}

bool parseIpv6(QStringView text, unsigned char out[16])
{
    // A zone ("fe80::1%eth0") does not change the address itself.
    const qsizetype pct = text.indexOf(u'%');
    if (pct > 0)
        text = text.left(pct);
    char buf[64];
    return toAsciiBuffer(text, buf, sizeof buf) && inet_pton(AF_INET6, buf, out) == 1;
}

constexpr qsizetype ipv4CacheLimit = 10000;

} // namespace

quint32 parseIpv4(QStringView text, bool *ok)
{
    char buf[64];
    in_addr a{};
    const bool good = toAsciiBuffer(text, buf, sizeof buf) && inet_aton(buf, &a) != 0;
    if (ok)
        *ok = good;
    return good ? ntohl(a.s_addr) : 0xFFFFFFFFu;
}

quint32 ipv4ToInt(const QString &text)
{
    static QHash<QString, quint32> cache;
    const auto it = cache.constFind(text);
    if (it != cache.constEnd())
        return *it;
    // Keys are client texts: keep the table bounded.
    if (cache.size() >= ipv4CacheLimit)
        cache.clear();
    const quint32 v = parseIpv4(text);
    cache.insert(text, v);
    return v;
}

QString ipv6Key(QStringView text)
{
    unsigned char a[16];
    if (!parseIpv6(text, a))
        return QString();
    static const char hex[] = "0123456789ABCDEF";
    QString key(32, Qt::Uninitialized);
    QChar *d = key.data();
    for (int i = 0; i < 16; ++i) {
        d[2 * i] = QLatin1Char(hex[a[i] >> 4]);
        d[2 * i + 1] = QLatin1Char(hex[a[i] & 15]);
    }
    return key;
}

bool isIpv4Address(QStringView text)
{
    char buf[64];
    in_addr a{};
    return toAsciiBuffer(text, buf, sizeof buf) && inet_pton(AF_INET, buf, &a) == 1;
}

bool isIpv6Address(QStringView text)
{
    unsigned char a[16];
    return parseIpv6(text, a);
}

bool isIpAddress(QStringView text)
{
    return isIpv4Address(text) || isIpv6Address(text);
}

bool isLocalAddress(const QString &text)
{
    // Every spelling of ::1 is the loopback; other IPv6 addresses are not local.
    if (text.contains(u':'))
        return ipv6Key(text) == u"00000000000000000000000000000001";
    const quint32 v = ipv4ToInt(text);
    const quint32 first = v >> 24;
    return first == 0 || first == 10 || first == 127
        || (v & 0xFFFF0000u) == 0xC0A80000u  // 192.168.0.0/16
        || (v & 0xFFFFFF00u) == 0xC0000200u  // 192.0.2.0/24
        || (v & 0xFFFF0000u) == 0xA9FE0000u  // 169.254.0.0/16
        || (v & 0xFFF00000u) == 0xAC100000u; // 172.16.0.0/12
}
