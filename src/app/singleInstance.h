#pragma once
// One running instance per user. The first start takes a lock file and
// listens on a local socket, both in a private (0700) per-user folder; a
// later start finds the lock taken and hands its command line, preceded by
// its current folder, over that socket. The receiver accepts only peers of
// its own uid.
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;

class TsingleInstance : public QObject
{
    Q_OBJECT
public:
    enum Tstate { SI_CLOSED, SI_PRIMARY, SI_SECONDARY, SI_ERROR };

    // `folder` empty: $XDG_RUNTIME_DIR/zof, else /tmp/zof-<uid>.
    explicit TsingleInstance(const QString &folder = {}, QObject *parent = nullptr);
    ~TsingleInstance() override;

    static QString defaultFolder();

    // Takes the lock (and listens) or finds another instance holding it.
    Tstate open();
    Tstate state() const { return st; }
    QString errorText() const { return error; }

    // From a second instance: hands the command line (current folder first)
    // to the running one and waits for its acknowledgement.
    bool send(const QStringList &cmdLine, int timeoutMs = 5000);

    // Largest command line accepted.
    static constexpr qsizetype maxMessage = 1 << 20;

Q_SIGNALS:
    // A command line from another start: its current folder, then its arguments.
    void received(const QStringList &cmdLine);

private:
    struct Tpeer
    {
        QSocketNotifier *notifier = nullptr;
        QByteArray buffer;
        QElapsedTimer age;
    };

    bool prepareFolder();
    bool listenSocket();
    void acceptPeers();
    void readPeer(int fd);
    void dropPeer(int fd);
    void dropStalePeers();

    QString folder;
    QString error;
    Tstate st = SI_CLOSED;
    int lockFd = -1;
    int listenFd = -1;
    QSocketNotifier *listenNotifier = nullptr;
    QHash<int, Tpeer> peers;
};
