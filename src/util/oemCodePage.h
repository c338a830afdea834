#pragma once
// The DOS code page 437, the "OEM" code page that old archivers on the
// desktop expect in file names.

#include <QByteArray>
#include <QStringView>

// The text composed (NFC) and written in code page 437; every character
// the code page lacks becomes one "?".
QByteArray textToOEM(QStringView text);
