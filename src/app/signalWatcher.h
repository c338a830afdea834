#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered on the event
// loop. The handler only writes one byte to a pipe (async-signal-safe); the
// read end is watched by a QSocketNotifier.
#include <QObject>

class QSocketNotifier;

class TsignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit TsignalWatcher(QObject *parent = nullptr);
    ~TsignalWatcher() override;

    bool isInstalled() const { return notifier != nullptr; }

Q_SIGNALS:
    void quitSignal(int signalNumber);

private:
    void drain();

    QSocketNotifier *notifier = nullptr;
};
