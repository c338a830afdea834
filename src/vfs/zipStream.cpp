#include "vfs/zipStream.h"

#include "util/files.h"
#include "vfs/crcCache.h"

#include <QDateTime>
#include <QtEndian>

#include <cerrno>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr quint32 max32 = 0xFFFFFFFF; // in a 32-bit field: "see the zip64 field"
constexpr quint16 flags = 0x0808;     // data descriptor, UTF-8 name
constexpr quint16 unixHost = 3 << 8;
constexpr quint32 regularFileMode = 0100644;

// Little-endian fields appended to a record.
class Trecord {
public:
    explicit Trecord(qint64 reserve) { b.reserve(reserve); }
    Trecord &u16(quint16 v) { return put(v); }
    Trecord &u32(quint32 v) { return put(v); }
    Trecord &u64(quint64 v) { return put(v); }
    Trecord &bytes(const QByteArray &v)
    {
        b += v;
        return *this;
    }
    QByteArray take() { return std::move(b); }

private:
    template <typename T> Trecord &put(T v)
    {
        char le[sizeof v];
        qToLittleEndian(v, le);
        b.append(le, sizeof v);
        return *this;
    }
    QByteArray b;
};

// What an entry needs beyond the classic fields.
struct Tshape {
    qint64 nameBytes;
    bool bigSize;   // the sizes go to the zip64 field
    bool bigOffset; // the local header's offset goes to the zip64 field
    bool stamp;     // the extended timestamp field (32-bit seconds) fits

    int zip64Fields() const { return (bigSize ? 2 : 0) + (bigOffset ? 1 : 0); }
    quint16 version() const { return bigSize || bigOffset ? 45 : 20; }
    qint64 localExtra() const { return (stamp ? 9 : 0) + (bigSize ? 20 : 0); }
    qint64 centralExtra() const
    {
        return (stamp ? 9 : 0) + (zip64Fields() ? 4 + 8 * zip64Fields() : 0);
    }
    qint64 localSize() const { return 30 + nameBytes + localExtra(); }
    qint64 descriptorSize() const { return bigSize ? 24 : 16; }
    qint64 centralSize() const { return 46 + nameBytes + centralExtra(); }
};

Tshape shapeOf(const TarchiveEntry &e, qint64 nameBytes)
{
    return {nameBytes, e.size >= max32, e.firstByte >= max32,
            e.mtime >= std::numeric_limits<qint32>::min() && e.mtime <= std::numeric_limits<qint32>::max()};
}

Tshape shapeOf(const TarchiveEntry &e)
{
    return shapeOf(e, e.dst.toUtf8().size());
}

// DOS time and date in local time, within the years the format can hold.
void putDosTime(Trecord &r, qint64 mtime)
{
    QDateTime t = QDateTime::fromSecsSinceEpoch(mtime).toLocalTime();
    if (t.date().year() < 1980)
        t = QDateTime(QDate(1980, 1, 1), QTime(0, 0));
    else if (t.date().year() > 2107)
        t = QDateTime(QDate(2107, 12, 31), QTime(23, 59, 58));
    const QDate d = t.date();
    const QTime h = t.time();
    r.u16(quint16(h.hour() << 11 | h.minute() << 5 | h.second() / 2));
    r.u16(quint16((d.year() - 1980) << 9 | d.month() << 5 | d.day()));
}

void putStamp(Trecord &r, qint64 mtime)
{
    r.u16(0x5455).u16(5).bytes(QByteArray(1, '\1')).u32(quint32(qint32(mtime)));
}

bool needsZip64End(qint64 count, qint64 dirStart, qint64 dirSize)
{
    return count >= 0xFFFF || dirStart >= max32 || dirSize >= max32;
}

} // namespace

bool TzipStream::acceptsName(const QString &name) const
{
    return name.toUtf8().size() <= 0xFFFF;
}

void TzipStream::layOut()
{
    QList<TarchiveEntry> &list = entries();
    crcs.resize(list.size());
    QList<qint64> nameBytes(list.size());
    for (int i = 0; i < list.size(); ++i) {
        TarchiveEntry &e = list[i];
        nameBytes[i] = e.dst.toUtf8().size();
        const Tshape s = shapeOf(e, nameBytes[i]);
        e.firstByte = addSegment(SEG_LOCAL, i, s.localSize());
        addSegment(SEG_DATA, i, e.size);
        addSegment(SEG_DESCRIPTOR, i, s.descriptorSize());
    }
    dirStart = layoutEnd();
    for (int i = 0; i < list.size(); ++i)
        addSegment(SEG_CENTRAL, i, shapeOf(list[i], nameBytes[i]).centralSize());
    dirSize = layoutEnd() - dirStart;
    addSegment(SEG_END, -1, (needsZip64End(list.size(), dirStart, dirSize) ? 56 + 20 : 0) + 22);
}

QByteArray TzipStream::segmentBytes(quint8 kind, int entry)
{
    switch (kind) {
    case SEG_LOCAL:
        return localHeader(entry);
    case SEG_DESCRIPTOR:
        return descriptor(entry);
    case SEG_CENTRAL:
        return centralRecord(entry);
    default:
        return endRecords();
    }
}

QByteArray TzipStream::localHeader(int entry) const
{
    const TarchiveEntry &e = files()[entry];
    const QByteArray name = e.dst.toUtf8();
    const Tshape s = shapeOf(e, name.size());
    Trecord r(s.localSize());
    // CRC and sizes follow the data, in the descriptor.
    r.u32(0x04034b50).u16(s.version()).u16(flags).u16(0);
    putDosTime(r, e.mtime);
    r.u32(0).u32(s.bigSize ? max32 : 0).u32(s.bigSize ? max32 : 0);
    r.u16(quint16(name.size())).u16(quint16(s.localExtra())).bytes(name);
    if (s.stamp)
        putStamp(r, e.mtime);
    if (s.bigSize)
        r.u16(0x0001).u16(16).u64(0).u64(0);
    return r.take();
}

QByteArray TzipStream::descriptor(int entry)
{
    const TarchiveEntry &e = entries()[entry];
    const Tshape s = shapeOf(e);
    Trecord r(s.descriptorSize());
    r.u32(0x08074b50).u32(crcOf(entry));
    if (s.bigSize)
        r.u64(quint64(e.size)).u64(quint64(e.size));
    else
        r.u32(quint32(e.size)).u32(quint32(e.size));
    return r.take();
}

QByteArray TzipStream::centralRecord(int entry)
{
    const TarchiveEntry &e = entries()[entry];
    const QByteArray name = e.dst.toUtf8();
    const Tshape s = shapeOf(e, name.size());
    Trecord r(s.centralSize());
    r.u32(0x02014b50).u16(unixHost | s.version()).u16(s.version()).u16(flags).u16(0);
    putDosTime(r, e.mtime);
    r.u32(crcOf(entry));
    r.u32(s.bigSize ? max32 : quint32(e.size)).u32(s.bigSize ? max32 : quint32(e.size));
    r.u16(quint16(name.size())).u16(quint16(s.centralExtra())).u16(0);
    r.u16(0).u16(0).u32(regularFileMode << 16);
    r.u32(s.bigOffset ? max32 : quint32(e.firstByte));
    r.bytes(name);
    if (s.zip64Fields()) {
        // Only the fields marked 0xFFFFFFFF above, in this order.
        r.u16(0x0001).u16(quint16(8 * s.zip64Fields()));
        if (s.bigSize)
            r.u64(quint64(e.size)).u64(quint64(e.size));
        if (s.bigOffset)
            r.u64(quint64(e.firstByte));
    }
    if (s.stamp)
        putStamp(r, e.mtime);
    return r.take();
}

QByteArray TzipStream::endRecords() const
{
    const qint64 n = files().size();
    Trecord r(56 + 20 + 22);
    if (needsZip64End(n, dirStart, dirSize)) {
        const qint64 zip64End = dirStart + dirSize;
        r.u32(0x06064b50).u64(44).u16(unixHost | 45).u16(45).u32(0).u32(0);
        r.u64(quint64(n)).u64(quint64(n)).u64(quint64(dirSize)).u64(quint64(dirStart));
        r.u32(0x07064b50).u32(0).u64(quint64(zip64End)).u32(1);
    }
    const quint16 count = quint16(std::min<qint64>(n, 0xFFFF));
    r.u32(0x06054b50).u16(0).u16(0).u16(count).u16(count);
    r.u32(quint32(std::min<qint64>(dirSize, max32))).u32(quint32(std::min<qint64>(dirStart, max32)));
    r.u16(0);
    return r.take();
}

void TzipStream::dataProduced(int entry, qint64 offset, const char *data, qint64 len)
{
    if (offset == 0) {
        runEntry = entry;
        runDone = 0;
        runCrc = 0;
    }
    if (entry != runEntry || offset != runDone)
        return;
    runCrc = crcUpdate(runCrc, data, len);
    runDone += len;
    if (runDone == entries()[entry].size) {
        // What was just sent wins over anything known before: a file that
        // shrank since went out with zeros.
        crcs[entry] = runCrc;
        remember(entry, runCrc);
        runEntry = -1;
    }
}

void TzipStream::cleared()
{
    crcs.clear();
    runEntry = -1;
}

// Data that went out straight from the file is read again for its CRC
// (from the page cache, at a fraction of the cost of sending it through
// memory), unless an earlier request left the CRC of this version of the
// file. Should the file change in between, the entry's CRC check tells the
// reader so, unless it shrank: then the CRC is made again of what went out.
void TzipStream::regionProduced(int entry, int fd, qint64 offset, qint64 len)
{
    if (crcs[entry])
        return;
    if (offset == 0) {
        if (const std::optional<quint32> known = rememberedCrc(entry)) {
            crcs[entry] = known;
            return;
        }
    } else if (entry != runEntry || offset != runDone) {
        return; // started inside the file: the CRC is read when it is needed
    }
    if (readBack.isEmpty())
        readBack.resize(256 * 1024);
    for (qint64 done = 0; done < len;) {
        const qint64 want = std::min<qint64>(len - done, readBack.size());
        const qint64 got = readFileAt(fd, readBack.data(), want, offset + done);
        if (got < want) {
            runEntry = -1;
            return;
        }
        dataProduced(entry, offset + done, readBack.constData(), got);
        done += got;
    }
}

void TzipStream::regionFellShort(int entry)
{
    // The file gave what it holds now, zeros follow: the CRC of that.
    crcs[entry] = readCrc(entry);
    if (runEntry == entry)
        runEntry = -1;
}

std::optional<quint32> TzipStream::rememberedCrc(int entry)
{
    if (entry < crcs.size() && crcs[entry])
        return crcs[entry];
    if (entries()[entry].size == 0)
        return 0;
    const TarchiveEntry &e = entries()[entry];
    const Tstamp &st = stamp(entry);
    const std::optional<quint32> known = crcCache().find({e.src, e.size, st.mtimeNs, st.inode, st.device});
    if (known && entryUnchanged(entry))
        return known;
    return std::nullopt;
}

quint32 TzipStream::crcOf(int entry)
{
    const std::optional<quint32> known = rememberedCrc(entry);
    const quint32 crc = known ? *known : readCrc(entry);
    crcs[entry] = crc;
    return crc;
}

// The one place where the stream reads more than it sends: a range that
// starts past (or inside) a file's data still needs the CRC of all of it
// for the descriptor and the central directory, and the cache lacked it.
// Holes of sparse files are counted as zeros without being read.
quint32 TzipStream::readCrc(int entry)
{
    const qint64 size = entries()[entry].size;
    const int f = entryFd(entry);
    struct stat st;
    qint64 have = f >= 0 && ::fstat(f, &st) == 0 ? std::min<qint64>(st.st_size, size) : 0;
    quint32 crc = 0;
    qint64 off = 0;
    QByteArray buf;
    while (off < have) {
        off_t data = ::lseek(f, off_t(off), SEEK_DATA);
        if (data < 0)
            data = errno == ENXIO ? off_t(have) : off_t(off); // ENXIO: a hole up to the end
        if (data > off) {
            const qint64 to = std::min<qint64>(data, have);
            crc = crcAppendZeros(crc, to - off);
            off = to;
            continue;
        }
        off_t hole = ::lseek(f, off_t(off), SEEK_HOLE);
        if (hole <= off)
            hole = off_t(have);
        const qint64 to = std::min<qint64>(hole, have);
        if (buf.isEmpty())
            buf.resize(1 << 16);
        while (off < to) {
            const qint64 want = std::min<qint64>(to - off, buf.size());
            const qint64 got = readFileAt(f, buf.data(), want, off);
            crc = crcUpdate(crc, buf.constData(), got);
            off += got;
            if (got < want) {
                have = off; // shrank while being read
                break;
            }
        }
    }
    if (off < size) {
        crc = crcAppendZeros(crc, size - off);
        shortFile(entry);
    }
    remember(entry, crc);
    return crc;
}

void TzipStream::remember(int entry, quint32 crc)
{
    if (!entryUnchanged(entry))
        return;
    const TarchiveEntry &e = entries()[entry];
    const Tstamp &st = stamp(entry);
    crcCache().insert({e.src, e.size, st.mtimeNs, st.inode, st.device}, crc);
}
