#pragma once
// Trimming at both ends. Two sets of characters count as white space, and
// they are kept apart on purpose: request parsing drops every control byte
// around a token, while name=value text keeps control characters as data
// and drops only blanks.

#include <QByteArrayView>
#include <QStringView>

// Without spaces and tabs at either end.
QStringView trimmedBlanks(QStringView text);
QByteArrayView trimmedBlanks(QByteArrayView bytes);

// Without bytes 0 to 32 (control bytes and the space) at either end.
QByteArrayView trimmedControls(QByteArrayView bytes);
