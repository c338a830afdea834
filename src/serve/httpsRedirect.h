#pragma once
// Where a plain-HTTP request goes when the server sends visitors to HTTPS.

#include <QByteArrayView>
#include <QString>

// https://HOST[:PORT]TARGET for the Host header the client sent: its port
// replaced by the HTTPS port (left out when 443). Empty when the header
// does not hold a usable host name or address.
QString httpsLocation(QStringView hostHeader, QStringView httpsPort, QByteArrayView target);

// The Strict-Transport-Security line of HTTPS replies.
inline constexpr QByteArrayView hstsHeader = "Strict-Transport-Security: max-age=31536000";
