#pragma once
// How the body of an outgoing request becomes text, and the range header a
// partial request carries. Pure functions, kept apart from the client so
// they can be checked without a network.
#include <QByteArray>
#include <QString>

// True when a Content-Type value names the charset "utf-8" (any letter
// case), as in «text/html; charset=UTF-8».
bool declaresUtf8(const QString &contentType);

// The body as text: decoded from UTF-8 when the Content-Type says so,
// otherwise byte for byte (each byte one character).
QString replyBodyText(const QByteArray &body, const QString &contentType);

// The value of the Range header for `size` bytes from `from` (size -1: to
// the end); empty when the whole body is wanted.
QByteArray rangeHeader(qint64 from, qint64 size);
