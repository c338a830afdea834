#pragma once
// One inotify instance, read without waiting: the caches of what the disk
// holds read its events before each answer, so that a change made before a
// lookup is seen by it.

#include <QByteArray>

#include <sys/inotify.h>

#include <cstdint>

class TchangeWatch
{
public:
    TchangeWatch();
    ~TchangeWatch();
    TchangeWatch(const TchangeWatch &) = delete;
    TchangeWatch &operator=(const TchangeWatch &) = delete;

    bool isValid() const { return fd >= 0; }
    // The watch descriptor, or -1.
    int add(const QByteArray &path, uint32_t events) const;
    void remove(int wd) const;
    // Hands each pending event to `seen`(wd, mask, name); returns at once
    // when there is none. `name` is the entry of the watched folder the
    // event is about, empty when it is about the folder itself. An overflow
    // (events were lost) comes as wd -1 with IN_Q_OVERFLOW in the mask.
    template <typename F>
    void readEvents(F seen) const
    {
        alignas(inotify_event) char buf[8192];
        for (;;) {
            const long n = readSome(buf, sizeof buf);
            if (n <= 0)
                return; // nothing more (EAGAIN)
            for (long at = 0; at + long(sizeof(inotify_event)) <= n;) {
                const auto *ev = reinterpret_cast<const inotify_event *>(buf + at);
                seen(ev->wd, ev->mask, QByteArrayView(ev->name, nameLength(ev)));
                at += long(sizeof(inotify_event)) + long(ev->len);
            }
        }
    }

private:
    int fd = -1;
    // The name is padded with zero bytes up to the event's length.
    static qsizetype nameLength(const inotify_event *ev) { return ev->len ? qsizetype(qstrnlen(ev->name, ev->len)) : 0; }
    long readSome(char *buf, unsigned long size) const;
};

// Whether a file system (statfs's f_type) passes all its changes through
// this kernel and so raises events; another machine may change a network
// file system silently, and user-space ones need not report.
bool isLocalFileSystemType(unsigned long type);
// The same for the file system holding `path`, or the open file `fd`.
bool isLocalFileSystemAt(const char *path);
bool isLocalFileSystemOf(int fd);
