// Both archive formats as the reply reads them: in chunks of any size, from
// any offset on, again from the start; and the device's contract.

#include "archiveTestTools.h"

#include "vfs/crcCache.h"
#include "vfs/tarStream.h"
#include "vfs/zipStream.h"

#include <QRandomGenerator>

using namespace archiveTest;

namespace {

// Files of sizes around the block size, an empty one, long and non-ASCII
// names, so entries start and end at every kind of offset.
class Samples {
public:
    Samples()
    {
        const qint64 sizes[] = {0, 1, 511, 512, 513, 1000, 70000, 300000};
        int i = 0;
        for (const qint64 n : sizes) {
            const QString rel = QStringLiteral("s%1").arg(i);
            d.file(rel, pattern(n, i));
            ++i;
            QString name = QStringLiteral("folder/file%1.bin").arg(n);
            if (i == 3)
                name = QString(150, u'x') + u'/' + QString(120, u'y');
            if (i == 5)
                name = QString::fromUtf8("d\xC3\xA9j\xC3\xA0/\xE2\x82\xAC.txt");
            files.append({d.path(rel), name});
        }
    }
    void addTo(TarchiveStream &s) const
    {
        for (const auto &f : files)
            ASSERT_TRUE(s.addFile(f.first, f.second));
    }

private:
    DiskTree d;
    QList<std::pair<QString, QString>> files;
};

template <typename T> class ArchiveReads : public ::testing::Test {};
using Formats = ::testing::Types<TtarStream, TzipStream>;
TYPED_TEST_SUITE(ArchiveReads, Formats);

} // namespace

TYPED_TEST(ArchiveReads, ChunksAndSeeksGiveTheBytesOfOneStraightRead)
{
    Samples files;
    TypeParam s;
    files.addTo(s);
    crcCache().clear();
    const QByteArray straight = readAll(s);
    ASSERT_EQ(straight.size(), s.size());

    for (const qint64 chunk : {1, 7, 100, 511, 512, 513, 4096, 65536, 1 << 20}) {
        SCOPED_TRACE(chunk);
        EXPECT_EQ(readInChunks(s, chunk), straight);
    }
    // Back to 0 after part of the archive was read.
    EXPECT_EQ(readAt(s, 0, 12345), straight.left(12345));
    EXPECT_EQ(readInChunks(s, 4096, 0), straight);

    // Every entry's first byte and its neighbours, the end, and random
    // offsets, each read on for a random length.
    QList<qint64> offsets = {0, 1, s.size() - 1, s.size()};
    for (const TarchiveEntry &e : s.files())
        offsets << std::max<qint64>(e.firstByte - 1, 0) << e.firstByte << e.firstByte + 1;
    QRandomGenerator rng(20240611);
    for (int i = 0; i < 300; ++i)
        offsets << qint64(rng.bounded(quint64(s.size() + 1)));
    for (const qint64 pos : offsets) {
        const qint64 len = 1 + rng.bounded(200000);
        SCOPED_TRACE(QStringLiteral("%1+%2").arg(pos).arg(len).toStdString());
        EXPECT_EQ(readAt(s, pos, len), straight.mid(pos, len));
    }

    // Fresh streams whose first read starts anywhere, nothing known of the
    // files yet (for a zip, the CRCs before that point are computed then).
    for (int i = 0; i < 30; ++i) {
        const qint64 pos = i < 10 ? offsets[i] : qint64(rng.bounded(quint64(s.size())));
        SCOPED_TRACE(pos);
        crcCache().clear();
        TypeParam fresh;
        files.addTo(fresh);
        EXPECT_EQ(readAt(fresh, pos, 1000), straight.mid(pos, 1000));
        EXPECT_EQ(readInChunks(fresh, 777, pos), straight.mid(pos));
    }
}

TYPED_TEST(ArchiveReads, DeviceContract)
{
    Samples files;
    TypeParam s;
    files.addTo(s);
    EXPECT_FALSE(s.isSequential());
    const qint64 total = s.totalSize();
    EXPECT_EQ(s.size(), total);
    EXPECT_FALSE(s.open(QIODevice::WriteOnly));
    EXPECT_FALSE(s.open(QIODevice::ReadWrite));
    EXPECT_EQ(s.errorString(), QStringLiteral("write unsupported"));
    ASSERT_TRUE(s.open(QIODevice::ReadOnly));
    EXPECT_FALSE(s.seek(-1));
    EXPECT_FALSE(s.seek(total + 1));
    EXPECT_TRUE(s.seek(total));
    EXPECT_TRUE(s.atEnd());
    EXPECT_EQ(s.read(10), QByteArray());
    // A read never produces more than asked, nor past the end.
    ASSERT_TRUE(s.seek(total - 5));
    char buf[64];
    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(s.read(buf, 3), 3);
    EXPECT_EQ(buf[3], 'z');
    EXPECT_EQ(s.read(buf, sizeof buf), 2);
    EXPECT_EQ(s.pos(), total);
    s.close();
    EXPECT_EQ(s.size(), total);
}
