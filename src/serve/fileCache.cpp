#include "serve/fileCache.h"

#include "util/files.h"
#include "vfs/diskEntry.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <ctime>

namespace {

qint64 nsOf(const struct timespec &ts)
{
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The whole file when it is still what `info` described; null otherwise.
QByteArray readWhole(const QString &path, const DiskEntryInfo &info)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return {};
    QByteArray bytes;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && quint64(st.st_dev) == info.device
        && quint64(st.st_ino) == info.inode && qint64(st.st_size) == info.size
        && nsOf(st.st_mtim) == info.mtimeNs && nsOf(st.st_ctim) == info.ctimeNs) {
        bytes.resize(qsizetype(info.size));
        if (readFileAt(fd, bytes.data(), info.size, 0) != info.size)
            bytes = QByteArray();
        else if (bytes.isNull())
            bytes = QByteArray("", 0); // an empty file is still a hit
    }
    ::close(fd);
    return bytes;
}

} // namespace

bool TfileCache::sameFile(const Entry &e, const DiskEntryInfo &info)
{
    return e.device == info.device && e.inode == info.inode && e.bytes.size() == info.size
        && e.mtimeNs == info.mtimeNs && e.ctimeNs == info.ctimeNs;
}

QByteArray TfileCache::contents(const QString &path, const DiskEntryInfo &info)
{
    return contents(path, info, wallClockNs());
}

QByteArray TfileCache::contents(const QString &path, const DiskEntryInfo &info, qint64 nowNs)
{
    if (info.kind != DiskEntry::File || info.size < 0 || info.size > maxFileSize)
        return {};
    const auto it = entries.find(path);
    if (it != entries.end()) {
        if (sameFile(*it, info)) {
            recency.splice(recency.begin(), recency, it->age);
            return it->bytes;
        }
        drop(it);
    }
    return load(path, info, nowNs);
}

QByteArray TfileCache::load(const QString &path, const DiskEntryInfo &info, qint64 nowNs)
{
    if (!hasSettled(info, nowNs) || info.size > budget)
        return {};
    QByteArray bytes = readWhole(path, info);
    if (bytes.isNull())
        return {};
    while (used + info.size > budget && !recency.empty())
        drop(entries.find(recency.back()));
    recency.push_front(path);
    Entry &e = entries[path];
    e.bytes = bytes;
    e.device = info.device;
    e.inode = info.inode;
    e.mtimeNs = info.mtimeNs;
    e.ctimeNs = info.ctimeNs;
    e.age = recency.begin();
    used += info.size;
    return bytes;
}

void TfileCache::drop(QHash<QString, Entry>::iterator it)
{
    used -= it->bytes.size();
    recency.erase(it->age);
    entries.erase(it);
}

void TfileCache::clear()
{
    entries.clear();
    recency.clear();
    used = 0;
}
