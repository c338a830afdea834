#pragma once
// What the request head tells about the client: its program and, behind a
// trusted proxy, its real address.

#include <QString>

// The client program named by a User-Agent value ("Mozilla", "MSIE 6.0",
// "Chrome/120.0"...); the cleaned value itself when no known name is found.
QString recognizeAgent(const QString &userAgent);

// The client address in an X-Forwarded-For value: the first entry, without a
// port ("a.b.c.d:port" or "[v6]:port"); IPv6 addresses are kept whole. Empty
// when that entry is not an IP address.
QString forwardedAddress(const QString &forwardedFor);

// The host the client asked for: ASCII letters, digits, '-', '.', ':' and
// '_' of the header value only.
QString cleanHost(const QString &host);

// Whether an Accept value asks for a page a person reads: browsers name
// "text/html" (or XHTML) for what they show; download tools send "*/*" or
// nothing.
bool acceptsPage(const QString &accept);
