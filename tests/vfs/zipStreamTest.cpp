// The zip stream's records, read back with a small independent parser; its
// CRCs (files that changed, the cache, sparse files); zip64.

#include "archiveTestTools.h"

#include "vfs/crcCache.h"
#include "vfs/zipStream.h"

#include <QDateTime>

#include <zlib.h>

using namespace archiveTest;

namespace {

struct CentralEntry {
    quint16 madeBy = 0, needed = 0, flags = 0, method = 0, time = 0, date = 0;
    quint32 crc = 0, attributes = 0;
    quint64 compressed = 0, size = 0, offset = 0;
    QByteArray name, extra;
};

struct ZipEnd {
    bool zip64 = false;
    quint16 count16 = 0;
    quint64 count = 0, dirStart = 0, dirSize = 0;
    QList<CentralEntry> entries;
};

// The extra field of `tag`, without its header; null when absent.
QByteArray extraField(const QByteArray &extra, quint16 tag)
{
    for (qint64 at = 0; at + 4 <= extra.size();) {
        const quint16 len = le16(extra, at + 2);
        if (le16(extra, at) == tag)
            return extra.mid(at + 4, len);
        at += 4 + len;
    }
    return QByteArray();
}

// Parses the end records and the central directory held in `tail`, the
// archive's last bytes from offset `tailStart` on.
ZipEnd parseEnd(const QByteArray &tail, qint64 tailStart)
{
    ZipEnd z;
    const qint64 eocd = tail.size() - 22;
    EXPECT_EQ(le32(tail, eocd), 0x06054b50u);
    z.count16 = le16(tail, eocd + 10);
    z.count = z.count16;
    z.dirSize = le32(tail, eocd + 12);
    z.dirStart = le32(tail, eocd + 16);
    if (eocd >= 20 && le32(tail, eocd - 20) == 0x07064b50u) {
        z.zip64 = true;
        const qint64 rec = qint64(le64(tail, eocd - 12)) - tailStart;
        EXPECT_EQ(rec, eocd - 20 - 56);
        EXPECT_EQ(le32(tail, rec), 0x06064b50u);
        EXPECT_EQ(le16(tail, rec + 14), 45);
        z.count = le64(tail, rec + 32);
        EXPECT_EQ(le64(tail, rec + 24), z.count);
        z.dirSize = le64(tail, rec + 40);
        z.dirStart = le64(tail, rec + 48);
    }
    qint64 at = qint64(z.dirStart) - tailStart;
    for (quint64 i = 0; i < z.count && at >= 0 && at + 46 <= tail.size(); ++i) {
        CentralEntry e;
        EXPECT_EQ(le32(tail, at), 0x02014b50u);
        e.madeBy = le16(tail, at + 4);
        e.needed = le16(tail, at + 6);
        e.flags = le16(tail, at + 8);
        e.method = le16(tail, at + 10);
        e.time = le16(tail, at + 12);
        e.date = le16(tail, at + 14);
        e.crc = le32(tail, at + 16);
        e.compressed = le32(tail, at + 20);
        e.size = le32(tail, at + 24);
        const quint16 nameLen = le16(tail, at + 28), extraLen = le16(tail, at + 30), commentLen = le16(tail, at + 32);
        e.attributes = le32(tail, at + 38);
        e.offset = le32(tail, at + 42);
        e.name = tail.mid(at + 46, nameLen);
        e.extra = tail.mid(at + 46 + nameLen, extraLen);
        const QByteArray z64 = extraField(e.extra, 0x0001);
        qint64 f = 0;
        if (e.size == 0xFFFFFFFF)
            e.size = le64(z64, 8 * f++);
        if (e.compressed == 0xFFFFFFFF)
            e.compressed = le64(z64, 8 * f++);
        if (e.offset == 0xFFFFFFFF)
            e.offset = le64(z64, 8 * f++);
        EXPECT_EQ(z64.size(), 8 * f);
        z.entries.append(e);
        at += 46 + nameLen + extraLen + commentLen;
    }
    EXPECT_EQ(quint64(z.entries.size()), z.count);
    EXPECT_EQ(at, eocd - (z.zip64 ? 76 : 0)) << "the directory ends where the end records start";
    return z;
}

quint32 zlibCrc(const QByteArray &b)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef *>(b.constData()), uInt(b.size())));
}

// The archive's end from its directory on, read by itself as a range.
ZipEnd readDirectory(TzipStream &s)
{
    // The end records: the zip64 ones (56 and 20 bytes), then the classic one.
    const QByteArray last = readAt(s, s.size() - 98, 98);
    qint64 from = le32(last, 76 + 16);
    if (le32(last, 56) == 0x07064b50u)
        from = qint64(le64(last, 48));
    return parseEnd(readAt(s, from, s.size() - from), from);
}

} // namespace

TEST(ZipLayout, RecordsPointAtTheirEntries)
{
    DiskTree d;
    const QByteArray a = pattern(1000, 1), c = pattern(70000, 3);
    d.file(QStringLiteral("a"), a);
    d.file(QStringLiteral("b"), QByteArray());
    d.file(QStringLiteral("c"), c);
    const qint64 when = 1700000000; // 2023-11-14 22:13:20 UTC
    for (const char *n : {"a", "b", "c"})
        setMtime(d.path(QString::fromLatin1(n)), when);
    TzipStream s;
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("a")), QStringLiteral("top/a.bin")));
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("b")), QStringLiteral("empty")));
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("c")), QString::fromUtf8("dossier/\xC3\xA9t\xC3\xA9.txt")));
    const QByteArray all = readAll(s);
    ASSERT_EQ(all.size(), s.size());

    const ZipEnd z = parseEnd(all, 0);
    EXPECT_FALSE(z.zip64);
    ASSERT_EQ(z.count, 3u);
    const QByteArray contents[] = {a, QByteArray(), c};
    const QDateTime local = QDateTime::fromSecsSinceEpoch(when).toLocalTime();
    const quint16 dosTime = quint16(local.time().hour() << 11 | local.time().minute() << 5 | local.time().second() / 2);
    const quint16 dosDate = quint16((local.date().year() - 1980) << 9 | local.date().month() << 5 | local.date().day());
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const CentralEntry &e = z.entries[i];
        const QByteArray &data = contents[i];
        EXPECT_EQ(e.name, s.files()[i].dst.toUtf8());
        EXPECT_EQ(e.flags, 0x0808);
        EXPECT_EQ(e.method, 0);
        EXPECT_EQ(e.needed, 20);
        EXPECT_EQ(e.madeBy >> 8, 3); // Unix: the attributes hold a mode
        EXPECT_EQ(e.attributes >> 16, 0100644u);
        EXPECT_EQ(e.size, quint64(data.size()));
        EXPECT_EQ(e.compressed, quint64(data.size()));
        EXPECT_EQ(e.crc, zlibCrc(data));
        EXPECT_EQ(e.time, dosTime);
        EXPECT_EQ(e.date, dosDate);
        EXPECT_EQ(extraField(e.extra, 0x5455), QByteArray("\x01\x00\xF1\x53\x65", 5));

        // Local header: no CRC or sizes up front, the data, the descriptor.
        const qint64 at = qint64(e.offset);
        EXPECT_EQ(at, s.files()[i].firstByte);
        EXPECT_EQ(le32(all, at), 0x04034b50u);
        EXPECT_EQ(le16(all, at + 6), 0x0808);
        EXPECT_EQ(le16(all, at + 10), e.time);
        EXPECT_EQ(le32(all, at + 14), 0u);
        EXPECT_EQ(le32(all, at + 18), 0u);
        EXPECT_EQ(le32(all, at + 22), 0u);
        const quint16 nameLen = le16(all, at + 26), extraLen = le16(all, at + 28);
        EXPECT_EQ(all.mid(at + 30, nameLen), e.name);
        EXPECT_EQ(extraField(all.mid(at + 30 + nameLen, extraLen), 0x5455), QByteArray("\x01\x00\xF1\x53\x65", 5));
        const qint64 dataAt = at + 30 + nameLen + extraLen;
        EXPECT_EQ(all.mid(dataAt, data.size()), data);
        const qint64 desc = dataAt + data.size();
        EXPECT_EQ(le32(all, desc), 0x08074b50u);
        EXPECT_EQ(le32(all, desc + 4), e.crc);
        EXPECT_EQ(le32(all, desc + 8), quint32(data.size()));
        EXPECT_EQ(le32(all, desc + 12), quint32(data.size()));
        EXPECT_EQ(desc + 16, i < 2 ? s.files()[i + 1].firstByte : qint64(z.dirStart));
    }
}

TEST(ZipCrc, ChangedFilesCarryTheCrcOfWhatWasSent)
{
    DiskTree d;
    const QByteArray a = pattern(5000, 1);
    d.file(QStringLiteral("a"), a);
    d.file(QStringLiteral("b"), pattern(300, 2));
    const QByteArray expectA = a.left(1000) + QByteArray(4000, '\0');
    const QByteArray expectB(300, '\0');

    // Read through, and read only the directory as a range: the CRCs
    // computed on the way and those computed from the files agree.
    for (const bool straight : {true, false}) {
        SCOPED_TRACE(straight);
        crcCache().clear();
        d.file(QStringLiteral("a"), a);
        d.file(QStringLiteral("b"), pattern(300, 2));
        TzipStream s;
        QStringList shortFiles;
        s.onShortFile = [&](const QString &src) { shortFiles += src; };
        ASSERT_TRUE(s.addFile(d.path(QStringLiteral("a"))));
        ASSERT_TRUE(s.addFile(d.path(QStringLiteral("b"))));
        const qint64 total = s.totalSize();
        ASSERT_TRUE(QFile::resize(d.path(QStringLiteral("a")), 1000));
        ASSERT_TRUE(QFile::remove(d.path(QStringLiteral("b"))));

        const ZipEnd z = straight ? parseEnd(readAll(s), 0) : readDirectory(s);
        EXPECT_EQ(s.size(), total);
        ASSERT_EQ(z.count, 2u);
        EXPECT_EQ(z.entries[0].crc, zlibCrc(expectA));
        EXPECT_EQ(z.entries[1].crc, zlibCrc(expectB));
        EXPECT_EQ(shortFiles, QStringList({d.path(QStringLiteral("a")), d.path(QStringLiteral("b"))}));
        // Nothing is remembered of files that changed.
        EXPECT_EQ(crcCache().count(), 0);
    }
}

TEST(ZipCrc, CachedCrcsSpareReadingTheFilesAgain)
{
    DiskTree d;
    const QString path = d.path(QStringLiteral("a"));
    const QByteArray before = pattern(100000, 1), after = pattern(100000, 2);
    d.file(QStringLiteral("a"), before);
    setMtime(path, 1600000000, 123456789);
    crcCache().clear();
    {
        TzipStream s;
        ASSERT_TRUE(s.addFile(path));
        readAll(s);
    }
    EXPECT_EQ(crcCache().count(), 1);

    // Same size, time and inode, other bytes: a stream that sends only its
    // directory takes the remembered CRC, proof that the file was not read.
    d.file(QStringLiteral("a"), after);
    setMtime(path, 1600000000, 123456789);
    {
        TzipStream s;
        ASSERT_TRUE(s.addFile(path));
        EXPECT_EQ(readDirectory(s).entries.value(0).crc, zlibCrc(before));
    }
    // A stream that sends the data describes what it sent.
    {
        TzipStream s;
        ASSERT_TRUE(s.addFile(path));
        EXPECT_EQ(parseEnd(readAll(s), 0).entries.value(0).crc, zlibCrc(after));
    }
    // Another time is another version of the file.
    d.file(QStringLiteral("a"), before);
    setMtime(path, 1600000000, 987654321);
    {
        TzipStream s;
        ASSERT_TRUE(s.addFile(path));
        EXPECT_EQ(readDirectory(s).entries.value(0).crc, zlibCrc(before));
    }
    // Remembered for the version added, but the file shrank since: the CRC
    // is that of the zeros that stand in for the missing bytes.
    EXPECT_EQ(crcCache().count(), 2);
    {
        TzipStream s;
        ASSERT_TRUE(s.addFile(path));
        ASSERT_TRUE(QFile::resize(path, 10));
        EXPECT_EQ(readDirectory(s).entries.value(0).crc, zlibCrc(before.left(10) + QByteArray(99990, '\0')));
    }
}

TEST(ZipRegions, FileDataGoesStraightFromTheFilesWithTheirCrcs)
{
    DiskTree d;
    const QByteArray a = pattern(70000, 1), b = pattern(3000, 2);
    d.file(QStringLiteral("a"), a);
    d.file(QStringLiteral("b"), b);
    const auto addBoth = [&](TzipStream &s) {
        ASSERT_TRUE(s.addFile(d.path(QStringLiteral("a"))));
        ASSERT_TRUE(s.addFile(d.path(QStringLiteral("b"))));
    };
    TzipStream first;
    addBoth(first);
    const QByteArray straight = readAll(first);
    first.close();
    const ZipEnd z0 = parseEnd(straight, 0);
    ASSERT_EQ(z0.count, 2u);
    ASSERT_EQ(z0.entries[0].crc, zlibCrc(a));

    // Whether the CRCs are computed on the way (nothing remembered) or were
    // remembered from before, the archive is the same, byte for byte.
    for (const bool remembered : {false, true}) {
        for (const qint64 chunk : {1, 511, 4096, 1 << 20}) {
            if (!remembered)
                crcCache().clear();
            TzipStream s;
            addBoth(s);
            EXPECT_EQ(sendThroughRegions(s, chunk), straight) << remembered << " " << chunk;
            EXPECT_EQ(crcCache().count(), 2);
        }
    }
    TzipStream second;
    addBoth(second);
    // A range that starts inside a file goes straight too; its CRC is read
    // from the file when the directory needs it.
    crcCache().clear();
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    const qint64 inA = second.files()[0].firstByte + 1000;
    int fd;
    qint64 offset, length;
    ASSERT_TRUE(second.seek(inA));
    ASSERT_TRUE(second.currentFileRegion(fd, offset, length));
    EXPECT_EQ(straight.mid(inA - offset, a.size()), a);
    second.close();
    EXPECT_EQ(readDirectory(second).entries.value(0).crc, zlibCrc(a));

    // b shrinks while its data goes out: zeros stand in for the rest, and
    // its CRC is that of what was sent.
    QStringList shortFiles;
    second.onShortFile = [&](const QString &src) { shortFiles += src; };
    bool shrunk = false;
    const QByteArray sent = sendThroughRegions(second, 4096, [&](qint64 pos) {
        if (!shrunk && pos > second.files()[1].firstByte) {
            ASSERT_TRUE(QFile::resize(d.path(QStringLiteral("b")), 1000));
            shrunk = true;
        }
    });
    ASSERT_TRUE(shrunk);
    ASSERT_EQ(sent.size(), straight.size());
    const ZipEnd z = parseEnd(sent, 0);
    ASSERT_EQ(z.count, 2u);
    EXPECT_EQ(z.entries[0].crc, zlibCrc(a));
    EXPECT_EQ(z.entries[1].crc, zlibCrc(b.left(1000) + QByteArray(2000, '\0')));
    EXPECT_EQ(shortFiles, QStringList{d.path(QStringLiteral("b"))});
}

TEST(ZipCrc, SparseFilesAndRunsOfZeros)
{
    // The arithmetic that stands in for reading zeros.
    const QByteArray abc("abc");
    for (const qint64 n : {0, 1, 1000, 65535, 65536, 65537, 3 * 65536 + 17, 1 << 20}) {
        const QByteArray zeros(n, '\0');
        EXPECT_EQ(crcAppendZeros(0, n), zlibCrc(zeros)) << n;
        EXPECT_EQ(crcAppendZeros(zlibCrc(abc), n), zlibCrc(abc + zeros)) << n;
    }

    // A file with holes before, between and after its data, whose CRC is
    // computed from the file (a range of the directory alone).
    DiskTree d;
    const QString path = d.path(QStringLiteral("sparse"));
    const qint64 size = 3 << 20;
    sparseFile(path, size);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(1 << 20));
    f.write(pattern(5000, 1));
    ASSERT_TRUE(f.seek((2 << 20) + 100));
    f.write(pattern(70000, 2));
    f.close();
    QFile back(path);
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    const QByteArray content = back.readAll();
    ASSERT_EQ(content.size(), size);

    crcCache().clear();
    TzipStream s;
    ASSERT_TRUE(s.addFile(path));
    EXPECT_EQ(readDirectory(s).entries.value(0).crc, zlibCrc(content));
}

TEST(TcrcCache, BoundedOldestGoFirst)
{
    TcrcCache c(3);
    const TcrcKey k1{QStringLiteral("/a"), 1, 2, 3, 4};
    TcrcKey k2 = k1, k3 = k1, k4 = k1;
    k2.inode = 30;
    k3.mtimeNs = 20;
    k4.size = 10;
    c.insert(k1, 11);
    c.insert(k2, 22);
    c.insert(k3, 33);
    c.insert(k1, 111); // a new value, not a new entry
    EXPECT_EQ(c.count(), 3);
    EXPECT_EQ(c.find(k1), 111u);
    c.insert(k4, 44);
    EXPECT_EQ(c.count(), 3);
    EXPECT_FALSE(c.find(k1).has_value());
    EXPECT_EQ(c.find(k2), 22u);
    EXPECT_EQ(c.find(k4), 44u);
    TcrcKey other = k2;
    other.path = QStringLiteral("/b");
    EXPECT_FALSE(c.find(other).has_value());
}

TEST(ZipLayout, Zip64ForHugeFilesAndFarOffsets)
{
    DiskTree d;
    const qint64 five = qint64(5) << 30;
    sparseFile(d.path(QStringLiteral("huge")), five);
    d.file(QStringLiteral("after"), "after the huge one");
    TzipStream s;
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("huge"))));
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("after"))));
    s.totalSize(); // lays the entries out
    const qint64 afterAt = s.files()[1].firstByte;
    EXPECT_GT(afterAt, five);

    // Only the end is read; the data of the huge file is a hole.
    const ZipEnd z = readDirectory(s);
    EXPECT_TRUE(z.zip64);
    ASSERT_EQ(z.count, 2u);
    const CentralEntry &huge = z.entries[0], &after = z.entries[1];
    EXPECT_EQ(huge.size, quint64(five));
    EXPECT_EQ(huge.compressed, quint64(five));
    EXPECT_EQ(huge.offset, 0u);
    EXPECT_EQ(huge.needed, 45);
    EXPECT_EQ(after.size, 18u);
    EXPECT_EQ(after.offset, quint64(afterAt));
    EXPECT_EQ(after.crc, zlibCrc("after the huge one"));
    EXPECT_EQ(after.needed, 45);

    // The huge entry's local header announces zip64 sizes, and its
    // descriptor has 8-byte sizes and the CRC of the directory.
    const QByteArray local = readAt(s, 0, 100);
    EXPECT_EQ(le32(local, 18), 0xFFFFFFFFu);
    EXPECT_EQ(le32(local, 22), 0xFFFFFFFFu);
    const qint64 dataAt = 30 + le16(local, 26) + le16(local, 28);
    EXPECT_EQ(extraField(local.mid(30 + le16(local, 26), le16(local, 28)), 0x0001), QByteArray(16, '\0'));
    const QByteArray desc = readAt(s, dataAt + five, 24);
    EXPECT_EQ(le32(desc, 0), 0x08074b50u);
    EXPECT_EQ(le32(desc, 4), huge.crc);
    EXPECT_EQ(le64(desc, 8), quint64(five));
    EXPECT_EQ(le64(desc, 16), quint64(five));
    EXPECT_EQ(dataAt + five + 24, afterAt);
}

TEST(ZipLayout, Zip64ForSoManyEntries)
{
    DiskTree d;
    d.file(QStringLiteral("x"), "x");
    TzipStream s;
    for (int i = 0; i < 65536; ++i)
        ASSERT_TRUE(s.addFile(d.path(QStringLiteral("x")), QStringLiteral("f/%1").arg(i, 5, 10, QChar(u'0'))));
    const QByteArray all = readAll(s);
    const ZipEnd z = parseEnd(all, 0);
    EXPECT_TRUE(z.zip64);
    EXPECT_EQ(z.count16, 0xFFFF);
    EXPECT_EQ(z.count, 65536u);
    ASSERT_EQ(z.entries.size(), 65536);
    EXPECT_EQ(z.entries.last().name, "f/65535");
    EXPECT_EQ(z.entries.last().offset, quint64(s.files().last().firstByte));
    EXPECT_EQ(z.entries.last().crc, zlibCrc("x"));
    // Offsets and sizes still fit: the 32-bit fields hold them.
    EXPECT_EQ(le32(all, all.size() - 22 + 16), z.dirStart);
}
