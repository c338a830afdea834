#pragma once
// Textual IP addresses: classification and the numeric forms used by masks.

#include <QString>
#include <QStringView>

// The unsigned 32-bit value of a dotted IPv4 address, first octet most
// significant. The classic parser is used, so "127.1" and "0x7f.1" are read
// as well; text it rejects gives 0xFFFFFFFF. Results are cached per text
// (the cache is cleared when it grows past 10,000 entries).
quint32 ipv4ToInt(const QString &text);
// Same, without the cache; `ok` tells whether the text parsed.
quint32 parseIpv4(QStringView text, bool *ok = nullptr);

// The 16 bytes of an IPv6 address as 32 upper-case hexadecimal digits, so
// that keys compare like the addresses; empty when the text is not IPv6.
QString ipv6Key(QStringView text);

// True when the text is an IPv4 address in strict dotted form or an IPv6
// address in any standard textual form.
bool isIpAddress(QStringView text);
bool isIpv4Address(QStringView text);
bool isIpv6Address(QStringView text);

// Loopback, private, link-local and documentation ranges of IPv4, and "::1".
bool isLocalAddress(const QString &text);
