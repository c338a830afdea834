#pragma once
// The program's version and build number, in one place. The build number is
// written in the first line of the configuration text and compared as text
// when old configurations are read.
#include <QString>

inline QString zofVersion() { return QStringLiteral("1.0"); }
inline QString zofBuild() { return QStringLiteral("400"); }
