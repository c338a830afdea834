#pragma once
// File names given by visitors and by scripts.
#include <QString>

// Not empty, no component of two or more dots, no control character nor
// any of " * / : < > ? \ |.
bool validFilename(const QString &name);
// Cleans a script's answer that names a file ("upload name", "download
// name", "archive name"): tabs and line breaks removed,
// trimmed, control characters and " * / < > ? | turned into '_'.
QString cleanScriptName(const QString &s);
