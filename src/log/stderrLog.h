#pragma once
// Text for standard error, gathered during one pass of the event loop and
// written then in one go: a burst of entries costs one write, not one each.

#include <QByteArray>

void queueStderr(const QByteArray &bytes);

// Text for standard error written straight into what waits: append to
// text(); it is queued as queueStderr would when the writer goes.
class TstderrWriter
{
public:
    TstderrWriter();
    ~TstderrWriter();
    TstderrWriter(const TstderrWriter &) = delete;
    TstderrWriter &operator=(const TstderrWriter &) = delete;
    QByteArray &text() { return pending; }

private:
    QByteArray &pending;
    bool wasEmpty;
};

// Writes what waits now (also done at exit).
void flushStderr();
