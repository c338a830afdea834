#include "vfs/archiveStream.h"

#include "util/bytePath.h"
#include "util/files.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "\" as "/", without empty, "." and ".." components: a name that cannot
// climb out of the folder it is extracted to.
QString safeArchiveName(QString name)
{
    name.replace(u'\\', u'/');
    QStringList parts;
    for (const QStringView part : QStringView(name).split(u'/')) {
        if (!part.isEmpty() && part != u"." && part != u"..")
            parts += part.toString();
    }
    return parts.join(u'/');
}

// Only regular files: O_NONBLOCK keeps a FIFO from blocking the open, and
// fstat then refuses it along with devices and sockets.
int openRegularFile(const QString &path, struct stat &st)
{
    const int fd = ::open(bytePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0)
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

qint64 mtimeNs(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

TarchiveStream::TarchiveStream() = default;

TarchiveStream::~TarchiveStream()
{
    closeFile();
}

bool TarchiveStream::acceptsName(const QString &) const
{
    return true;
}

bool TarchiveStream::addFile(const QString &src, const QString &dst)
{
    const QString name = safeArchiveName(dst.isEmpty() ? src.section(u'/', -1) : dst);
    if (name.isEmpty() || !acceptsName(name))
        return false;
    struct stat st;
    const int f = openRegularFile(src, st);
    if (f < 0)
        return false;
    ::close(f);

    TarchiveEntry e;
    e.src = src;
    e.dst = name;
    e.mtime = st.st_mtim.tv_sec;
    e.size = st.st_size;
    list.append(e);
    stamps.append({mtimeNs(st), quint64(st.st_ino), quint64(st.st_dev), false});
    invalidate();
    return true;
}

void TarchiveStream::clear()
{
    closeFile();
    list.clear();
    stamps.clear();
    invalidate();
    cleared();
    cursor = 0;
    if (isOpen())
        QIODevice::seek(0);
}

qint64 TarchiveStream::totalSize()
{
    ensureLayout();
    return total;
}

qint64 TarchiveStream::size() const
{
    // Laying out changes nothing that can be seen from outside.
    return const_cast<TarchiveStream *>(this)->totalSize();
}

bool TarchiveStream::open(OpenMode mode)
{
    if (mode & WriteOnly) {
        setErrorString(QStringLiteral("write unsupported"));
        return false;
    }
    ensureLayout();
    cursor = 0;
    lastSeg = -1;
    // Unbuffered: the reader's chunk is all that is produced at a time.
    return QIODevice::open(ReadOnly | Unbuffered);
}

void TarchiveStream::close()
{
    closeFile();
    block.clear();
    blockSeg = -1;
    QIODevice::close();
}

bool TarchiveStream::seek(qint64 pos)
{
    if (pos < 0 || pos > totalSize() || !QIODevice::seek(pos))
        return false;
    cursor = pos;
    return true;
}

bool TarchiveStream::currentFileRegion(int &regionFd, qint64 &offset, qint64 &length)
{
    regionEntry = -1;
    length = -1;
    if (!isOpen())
        return false;
    ensureLayout();
    if (cursor >= total)
        return false;
    const int i = segmentAt(cursor);
    const Tsegment s = segs[i];
    const qint64 end = i + 1 < segs.size() ? segs[i + 1].start : total;
    if (s.kind != SEG_DATA) {
        length = end - cursor; // a header or padding: read it, then look again
        return false;
    }
    if (stamps[s.entry].wasShort)
        return false;
    const int f = entryFd(s.entry);
    if (f < 0)
        return false;
    regionFd = f;
    offset = cursor - s.start;
    length = end - cursor;
    lastSeg = i;
    regionEntry = s.entry;
    regionStart = s.start;
    return true;
}

void TarchiveStream::regionSent(qint64 n)
{
    if (regionEntry >= 0 && n > 0 && fd >= 0 && fdEntry == regionEntry) {
        regionProduced(regionEntry, fd, cursor - regionStart, n);
    }
    seek(pos() + n);
}

void TarchiveStream::regionShort()
{
    if (regionEntry < 0)
        return;
    shortFile(regionEntry);
    regionFellShort(regionEntry);
}

void TarchiveStream::regionProduced(int, int, qint64, qint64)
{
}

void TarchiveStream::regionFellShort(int)
{
}

void TarchiveStream::dataProduced(int, qint64, const char *, qint64)
{
}

qint64 TarchiveStream::addSegment(quint8 kind, int entry, qint64 len)
{
    const qint64 start = layoutPos;
    if (len > 0) {
        segs.append({start, qint32(entry), kind});
        layoutPos += len;
    }
    return start;
}

void TarchiveStream::ensureLayout()
{
    if (total >= 0)
        return;
    segs.clear();
    layoutPos = 0;
    layOut();
    total = layoutPos;
}

void TarchiveStream::invalidate()
{
    total = -1;
    segs.clear();
    lastSeg = -1;
    blockSeg = -1;
    block.clear();
}

int TarchiveStream::segmentAt(qint64 pos) const
{
    const auto inside = [&](int i) {
        return i >= 0 && i < segs.size() && segs[i].start <= pos
               && (i + 1 == segs.size() || pos < segs[i + 1].start);
    };
    if (inside(lastSeg))
        return lastSeg;
    if (inside(lastSeg + 1))
        return lastSeg + 1;
    const auto it = std::upper_bound(segs.cbegin(), segs.cend(), pos,
                                     [](qint64 p, const Tsegment &s) { return p < s.start; });
    return int(it - segs.cbegin()) - 1;
}

qint64 TarchiveStream::readData(char *data, qint64 maxlen)
{
    ensureLayout();
    qint64 done = 0;
    while (done < maxlen && cursor < total) {
        const int i = segmentAt(cursor);
        const Tsegment s = segs[i];
        const qint64 end = i + 1 < segs.size() ? segs[i + 1].start : total;
        const qint64 off = cursor - s.start;
        const qint64 n = std::min(end - cursor, maxlen - done);
        if (s.kind == SEG_DATA) {
            readEntry(s.entry, off, data + done, n);
            dataProduced(s.entry, off, data + done, n);
        } else {
            // A file stays open through its own trailing bytes only.
            if (s.entry != fdEntry)
                closeFile();
            if (blockSeg != i) {
                block = segmentBytes(s.kind, s.entry);
                Q_ASSERT(block.size() == end - s.start);
                block.resize(end - s.start, '\0');
                blockSeg = i;
            }
            std::memcpy(data + done, block.constData() + off, size_t(n));
        }
        done += n;
        cursor += n;
        lastSeg = i;
    }
    return done;
}

qint64 TarchiveStream::writeData(const char *, qint64)
{
    setErrorString(QStringLiteral("write unsupported"));
    return -1;
}

int TarchiveStream::entryFd(int entry)
{
    if (entry == fdEntry)
        return fd;
    closeFile();
    fdEntry = entry;
    struct stat st;
    fd = openRegularFile(list[entry].src, st);
    if (fd < 0)
        shortFile(entry);
    return fd;
}

void TarchiveStream::shortFile(int entry)
{
    Tstamp &s = stamps[entry];
    if (s.wasShort)
        return;
    s.wasShort = true;
    if (onShortFile)
        onShortFile(list[entry].src);
}

void TarchiveStream::readEntry(int entry, qint64 offset, char *dst, qint64 len)
{
    const int f = entryFd(entry);
    const qint64 got = f >= 0 ? readFileAt(f, dst, len, offset) : 0;
    if (got < len) {
        std::memset(dst + got, 0, size_t(len - got));
        shortFile(entry);
    }
}

bool TarchiveStream::entryUnchanged(int entry)
{
    const int f = entryFd(entry);
    struct stat st;
    if (f < 0 || ::fstat(f, &st) != 0)
        return false;
    const Tstamp &s = stamps[entry];
    return !s.wasShort && st.st_size == list[entry].size && mtimeNs(st) == s.mtimeNs
           && quint64(st.st_ino) == s.inode && quint64(st.st_dev) == s.device;
}

void TarchiveStream::closeFile()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    fdEntry = -1;
}
