#pragma once
// Cookies sent over TLS are marked Secure, so that a browser never hands
// them back over plain HTTP.

#include <QByteArray>
#include <QByteArrayView>

// The header lines with "; Secure" added to every Set-Cookie line that
// lacks the attribute; other lines as they were.
QByteArray secureCookieLines(QByteArrayView lines);
