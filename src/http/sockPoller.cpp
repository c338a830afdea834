#include "http/sockPoller.h"

#include <QSocketNotifier>
#include <sys/epoll.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>

namespace {
thread_local std::weak_ptr<TsockPoller> threadPoller;

constexpr int maxEventsPerWait = 256;
// Rounds of epoll_wait per notifier activation: bounded so that timers and
// other sources of the loop keep running under a flood.
constexpr int maxRounds = 8;

quint64 makeHandle(uint32_t slot, uint32_t gen) { return (quint64(gen) << 32) | slot; }
}

std::shared_ptr<TsockPoller> TsockPoller::acquire()
{
    auto p = threadPoller.lock();
    if (!p) {
        p.reset(new TsockPoller);
        threadPoller = p;
    }
    return p;
}

TsockPoller::TsockPoller()
{
    // sendfile() has no MSG_NOSIGNAL: a peer that goes away in the middle of
    // a file would kill the process with SIGPIPE instead of giving EPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    epfd = epoll_create1(EPOLL_CLOEXEC);
    if (epfd >= 0) {
        notifier = std::make_unique<QSocketNotifier>(epfd, QSocketNotifier::Read);
        connect(notifier.get(), &QSocketNotifier::activated, this, [this] { dispatch(); });
    }
    slots.reserve(64);
    slots.push_back({}); // slot 0 unused, so that a handle is never 0
    tickTimer.setInterval(1000);
    connect(&tickTimer, &QTimer::timeout, this, [this] { tick(); });
}

TsockPoller::~TsockPoller()
{
    notifier.reset();
    if (epfd >= 0)
        ::close(epfd);
}

bool TsockPoller::add(TsockPollable *p, int fd, uint32_t events)
{
    if (epfd < 0 || p->pollHandle)
        return false;
    uint32_t slot;
    if (!freeSlots.empty()) {
        slot = freeSlots.back();
        freeSlots.pop_back();
    } else {
        slot = uint32_t(slots.size());
        slots.push_back({});
    }
    Slot &s = slots[slot];
    s.obj = p;
    const quint64 h = makeHandle(slot, s.gen);
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = h;
    if (epoll_ctl(epfd, EPOLL_CTL_ADD, fd, &ev) != 0) {
        s.obj = nullptr;
        freeSlots.push_back(slot);
        return false;
    }
    p->pollHandle = h;
    return true;
}

void TsockPoller::remove(TsockPollable *p, int fd)
{
    if (!p->pollHandle)
        return;
    if (fd >= 0)
        epoll_ctl(epfd, EPOLL_CTL_DEL, fd, nullptr);
    const uint32_t slot = uint32_t(p->pollHandle);
    if (slot < slots.size() && slots[slot].obj == p) {
        slots[slot].obj = nullptr;
        ++slots[slot].gen; // stale handles in flight no longer match
        freeSlots.push_back(slot);
    }
    wantTicks(p, false);
    p->pollHandle = 0;
    p->deferQueued = false;
}

void TsockPoller::unwatch(int fd)
{
    if (epfd >= 0 && fd >= 0)
        epoll_ctl(epfd, EPOLL_CTL_DEL, fd, nullptr);
}

TsockPollable *TsockPoller::lookup(quint64 handle) const
{
    const uint32_t slot = uint32_t(handle);
    if (slot == 0 || slot >= slots.size())
        return nullptr;
    const Slot &s = slots[slot];
    return s.gen == uint32_t(handle >> 32) ? s.obj : nullptr;
}

void TsockPoller::defer(TsockPollable *p)
{
    if (!p->pollHandle || p->deferQueued)
        return;
    p->deferQueued = true;
    deferred.push_back(p->pollHandle);
    scheduleDrain();
}

void TsockPoller::scheduleDrain()
{
    if (depth == 0)
        postDrain();
}

void TsockPoller::postDrain()
{
    if (drainScheduled)
        return;
    drainScheduled = true;
    QMetaObject::invokeMethod(this, [this] {
        drainScheduled = false;
        ++depth;
        drainDeferred();
        --depth;
    }, Qt::QueuedConnection);
}

void TsockPoller::drainDeferred()
{
    // Each round takes the list as it stands; calls made in a round queue
    // for the next one. A bounded number of rounds, then the loop's turn.
    for (int round = 0; round < 16 && !deferred.empty(); ++round) {
        std::vector<quint64> batch;
        batch.swap(deferred);
        for (quint64 h : batch) {
            TsockPollable *p = lookup(h);
            if (!p || !p->deferQueued)
                continue;
            p->deferQueued = false;
            p->pollDeferred();
        }
    }
    if (!deferred.empty())
        postDrain();
}

void TsockPoller::dispatch()
{
    if (epfd < 0)
        return;
    ++depth;
    epoll_event evs[maxEventsPerWait];
    for (int round = 0; round < maxRounds; ++round) {
        const int n = epoll_wait(epfd, evs, maxEventsPerWait, 0);
        if (n <= 0)
            break;
        for (int i = 0; i < n; ++i) {
            // Looked up again for each event: a nested loop run by an earlier
            // callback may have freed the object behind a later one.
            if (TsockPollable *p = lookup(evs[i].data.u64))
                p->pollEvent(evs[i].events);
        }
        drainDeferred();
        if (n < maxEventsPerWait)
            break;
    }
    drainDeferred();
    --depth;
}

void TsockPoller::wantTicks(TsockPollable *p, bool on)
{
    if (!p->pollHandle)
        return;
    auto it = std::find(ticking.begin(), ticking.end(), p->pollHandle);
    if (on && it == ticking.end())
        ticking.push_back(p->pollHandle);
    else if (!on && it != ticking.end())
        ticking.erase(it);
    if (ticking.empty())
        tickTimer.stop();
    else if (!tickTimer.isActive())
        tickTimer.start();
}

void TsockPoller::tick()
{
    const std::vector<quint64> list = ticking;
    ++depth;
    for (quint64 h : list)
        if (TsockPollable *p = lookup(h))
            p->pollTick();
    drainDeferred();
    --depth;
}
