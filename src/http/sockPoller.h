#pragma once
// One epoll instance per thread, watched by a single QSocketNotifier, so that
// Qt's own poll set stays one descriptor long whatever the number of sockets.

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

class QSocketNotifier;

// Something registered with the poller. The poller never stores the pointer
// where a stale copy could be used: epoll carries a (slot, generation)
// handle that is looked up again at every dispatch.
class TsockPollable
{
public:
    virtual ~TsockPollable() = default;
    // epoll reported these event bits for our descriptor.
    virtual void pollEvent(uint32_t events) = 0;
    // Deferred work asked for with TsockPoller::defer().
    virtual void pollDeferred() = 0;
    // Called about once a second while registered with wantTicks().
    virtual void pollTick() {}

    quint64 pollHandle = 0;   // 0 = not registered
    bool deferQueued = false;
};

class TsockPoller : public QObject
{
    Q_OBJECT
public:
    // The poller of the calling thread, created on first use and destroyed
    // with its last user.
    static std::shared_ptr<TsockPoller> acquire();
    ~TsockPoller() override;

    bool add(TsockPollable *p, int fd, uint32_t events);
    void remove(TsockPollable *p, int fd);
    // Stops watching fd but keeps p registered (deferred calls still work).
    void unwatch(int fd);
    // Runs p->pollDeferred() soon: at the end of the current dispatch, or
    // from the event loop when no dispatch is running. Never re-entrantly.
    void defer(TsockPollable *p);
    void wantTicks(TsockPollable *p, bool on);
    // Runs every pending epoll event and deferred call now (tests, shutdown).
    void dispatch();

private:
    TsockPoller();
    TsockPollable *lookup(quint64 handle) const;
    void drainDeferred();
    void scheduleDrain();
    void postDrain();
    void tick();

    struct Slot {
        TsockPollable *obj = nullptr;
        uint32_t gen = 0;
    };
    int epfd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    std::vector<Slot> slots;
    std::vector<uint32_t> freeSlots;
    std::vector<quint64> deferred;
    std::vector<quint64> ticking;
    QTimer tickTimer;
    int depth = 0;
    bool drainScheduled = false;
};
