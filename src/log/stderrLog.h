#pragma once
// Text for standard error, gathered during one pass of the event loop and
// written then in one go: a burst of entries costs one write, not one each.

#include <QByteArray>

void queueStderr(const QByteArray &bytes);
// Writes what waits now (also done at exit).
void flushStderr();
