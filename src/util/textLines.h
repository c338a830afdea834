#pragma once

#include <QString>
#include <QStringList>

// The text's lines: split at LF with any CR before it dropped, so files
// edited with LF-only line ends read the same as CR LF ones.
QStringList splitLines(const QString &text);
