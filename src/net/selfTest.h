#pragma once
// The self test: a remote test service is asked to connect back to this
// server (it requests "/test", which the server answers while the test runs)
// and replies with a code; the addresses the machine may be reached by are
// tried, then other ports. Everything that belongs to the running program
// comes through TselfTestHooks, so the algorithm runs the same under tests.
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct TselfTestHooks
{
    // A GET of the test service or the probe site; nothing on error.
    std::function<std::optional<QString>(const QString &url)> get;
    std::function<bool()> listening;
    std::function<bool()> startServer;            // true once listening
    std::function<QString()> serverPort;          // "" while not listening
    std::function<void(const QString &port)> setPort; // the option; restarts a listening server
    std::function<QString()> urlAddress;
    std::function<void(const QString &address)> setUrlAddress;
    std::function<QString()> externalAddress;
    std::function<void()> findExternalAddress;
    std::function<QStringList()> candidates;      // the URL address candidates
    std::function<QStringList()> ownAddresses;
    std::function<void(bool on)> suspendLimits;   // bans and connection limits off while on
    std::function<void(const QString &caption)> progress;
    std::function<bool()> cancelled;
    std::function<qint64()> clockMs;              // monotonic
    std::function<void(qint64 ms)> pause;         // lets the program run meanwhile
};

struct TselfTestSettings
{
    QString serviceUrl;    // the test service; empty: not configured
    QString probeUrl;      // a public site that tells whether the Internet works
    QString listenOn;
    bool httpsUrl = false;
    QStringList ports;     // the other ports tried ("80", "8123")
};

// The explanation the operator confirms before the test.
QString selfTestExplanation();

// The message for a final reply that is not a success: the failure line and
// the text of its code ("3", "6", "7"), or the reply itself.
QString selfTestFailureText(const QString &reply, const QString &port);

// A reply counts when it starts with a digit; it is better than `best` when
// there is none yet or its code is smaller.
bool betterSelfTestReply(const QString &reply, const QString &best);

// The request to the test service.
QString selfTestRequest(const QString &serviceUrl, const QString &address, const QString &port, bool natted);

class TselfTest
{
public:
    TselfTest(TselfTestHooks hooks, TselfTestSettings settings);

    // The whole test with its messages (through prompt()). `confirmed`: the
    // operator asked for it explicitly, so the explanation is not asked.
    void run(bool confirmed = false);

    // One address and port: the test service's reply, asked again after a
    // "4" (busy) with each attempt lasting at least 3.1 seconds; nothing on
    // error or cancellation.
    std::optional<QString> testAddress(const QString &address, const QString &port);

    // Attempts made by testAddress (for the busy rule).
    int attempts = 0;

private:
    void addressPhase();
    bool portPhase();
    void outcome(bool portChanged, const QString &oldPort);
    bool isLocal(const QString &address) const;

    TselfTestHooks h;
    TselfTestSettings s;
    QString bestResult, bestAddress;
    bool wasCancelled = false;
};
