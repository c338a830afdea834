#pragma once
// A listening TCP socket on the thread's epoll instance. IPv4 and IPv6 use
// separate sockets; the IPv6 one is IPv6-only.

#include "http/sockPoller.h"

#include <QString>
#include <functional>

class TlistenSocket final : public TsockPollable
{
public:
    explicit TlistenSocket(std::shared_ptr<TsockPoller> poller);
    ~TlistenSocket() override;
    TlistenSocket(const TlistenSocket &) = delete;
    TlistenSocket &operator=(const TlistenSocket &) = delete;

    // Binds address (numeric IPv4 or IPv6 text) and port, then listens.
    // On failure errorText says why.
    bool listen(const QString &address, quint16 port);
    void close();
    bool isListening() const { return fd >= 0; }
    quint16 boundPort() const { return port; }
    const QString &errorText() const { return error; }

    // Accepts one waiting connection: a non-blocking descriptor, or -1.
    int accept();

    // Called when connections are waiting; it should accept() them all.
    std::function<void()> onConnectionWaiting;
    // Called after close() closed a listening socket.
    std::function<void()> onClosed;

    void pollEvent(uint32_t events) override;
    void pollDeferred() override {}

private:
    std::shared_ptr<TsockPoller> poller;
    int fd = -1;
    int spare = -1; // kept in reserve for running out of descriptors
    quint16 port = 0;
    QString error;
};
