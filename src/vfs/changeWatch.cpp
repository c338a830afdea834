#include "vfs/changeWatch.h"

#include <sys/vfs.h>
#include <unistd.h>

TchangeWatch::TchangeWatch()
    : fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
}

TchangeWatch::~TchangeWatch()
{
    if (fd >= 0)
        ::close(fd);
}

int TchangeWatch::add(const QByteArray &path, uint32_t events) const
{
    return fd < 0 ? -1 : ::inotify_add_watch(fd, path.constData(), events);
}

void TchangeWatch::remove(int wd) const
{
    if (fd >= 0 && wd >= 0)
        ::inotify_rm_watch(fd, wd);
}

long TchangeWatch::readSome(char *buf, unsigned long size) const
{
    return fd < 0 ? 0 : long(::read(fd, buf, size));
}

bool isLocalFileSystemType(unsigned long type)
{
    switch (type) {
    case 0xEF53UL:     // ext2, ext3, ext4
    case 0x58465342UL: // xfs
    case 0x9123683EUL: // btrfs
    case 0x01021994UL: // tmpfs
    case 0xF2F52010UL: // f2fs
    case 0x2FC12FC1UL: // zfs
        return true;
    default:
        return false;
    }
}

bool isLocalFileSystemAt(const char *path)
{
    struct statfs fs;
    return ::statfs(path, &fs) == 0 && isLocalFileSystemType(static_cast<unsigned long>(fs.f_type));
}

bool isLocalFileSystemOf(int fd)
{
    struct statfs fs;
    return ::fstatfs(fd, &fs) == 0 && isLocalFileSystemType(static_cast<unsigned long>(fs.f_type));
}
