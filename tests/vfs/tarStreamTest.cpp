// The tar stream's layout and header bytes, the names it writes and what it
// sends for files that changed after they were added.

#include "archiveTestTools.h"

#include "vfs/tarStream.h"

using namespace archiveTest;

namespace {

QByteArray field(const QByteArray &block, int at, int len)
{
    return block.mid(at, len);
}

// The name field up to its first NUL.
QByteArray nameField(const QByteArray &block)
{
    return QByteArray(block.constData(), qstrnlen(block.constData(), 100));
}

// Sum of the block's bytes with the checksum field counted as spaces.
unsigned checksumOf(QByteArray block)
{
    block.replace(148, 8, "        ");
    unsigned sum = 0;
    for (const char c : std::as_const(block))
        sum += uchar(c);
    return sum;
}

QByteArray octal(qint64 v, int digits)
{
    return QByteArray::number(v, 8).rightJustified(digits, '0');
}

bool allZero(const QByteArray &b)
{
    return b.count('\0') == b.size();
}

} // namespace

TEST(TarLayout, HeaderSizesPaddingAndTotal)
{
    DiskTree d;
    struct Case {
        int nameBytes;
        qint64 size;
        qint64 beforeData; // header blocks
        qint64 padding;
    } cases[] = {
        {99, 1, 512, 511},     // the longest name in one header; 1 byte and 511 of padding
        {100, 512, 1536, 0},   // long-name header, one name block, header; no padding
        {511, 513, 1536, 511}, // the name and its NUL fill one block exactly
        {512, 0, 2048, 0},     // the NUL spills into a second block
        {600, 1000, 2048, 24}, // two name blocks
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.nameBytes);
        const QString name = QString(c.nameBytes - 4, u'n') + QStringLiteral(".bin");
        const QByteArray data = pattern(c.size, c.nameBytes);
        d.file(QStringLiteral("f"), data);

        TtarStream s;
        ASSERT_TRUE(s.addFile(d.path(QStringLiteral("f")), name));
        EXPECT_EQ(TtarStream::headerSize(c.nameBytes), c.beforeData);
        const qint64 total = c.beforeData + c.size + c.padding + 1024;
        EXPECT_EQ(s.totalSize(), total);
        const QByteArray all = readAll(s);
        ASSERT_EQ(all.size(), total);
        EXPECT_EQ(all.mid(c.beforeData, c.size), data);
        EXPECT_TRUE(allZero(all.mid(c.beforeData + c.size)));
        const QByteArray header = all.mid(c.beforeData - 512, 512);
        EXPECT_EQ(header[156], '0');
        EXPECT_EQ(nameField(header), name.toUtf8().left(99));
        if (c.beforeData > 512) {
            const QByteArray longName = all.left(512);
            EXPECT_EQ(longName[156], 'L');
            EXPECT_EQ(nameField(longName), "././@LongLink");
            EXPECT_EQ(field(longName, 124, 12), octal(c.nameBytes + 1, 11) + '\0');
            // The name, its NUL and zeros up to the header.
            EXPECT_EQ(all.mid(512, c.beforeData - 1024), name.toUtf8() + QByteArray(c.beforeData - 1024 - c.nameBytes, '\0'));
        }
    }
}

TEST(TarLayout, EntriesFollowEachOtherOnBlockBoundaries)
{
    DiskTree d;
    d.file(QStringLiteral("a"), pattern(1000, 1));
    d.file(QStringLiteral("b"), pattern(1000, 2));
    d.file(QStringLiteral("c"), pattern(512, 3));
    d.file(QStringLiteral("e"), QByteArray());
    TtarStream s;
    EXPECT_EQ(s.totalSize(), 1024); // only the two end blocks
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("a"))));
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("b"))));
    EXPECT_EQ(s.totalSize(), 512 + 1000 + 24 + 512 + 1000 + 24 + 1024);
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("c"))));
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("e"))));
    EXPECT_EQ(s.totalSize(), 4096 + 512 + 512 + 512);
    const qint64 firsts[] = {0, 1536, 3072, 4096};
    for (int i = 0; i < s.count(); ++i)
        EXPECT_EQ(s.files()[i].firstByte, firsts[i]) << i;
    const QByteArray all = readAll(s);
    EXPECT_EQ(nameField(all.mid(1536, 512)), "b");
    EXPECT_EQ(all.mid(3072 + 512, 512), pattern(512, 3));
    EXPECT_EQ(nameField(all.mid(4096, 512)), "e");
    EXPECT_EQ(field(all.mid(4096, 512), 124, 12), octal(0, 11) + '\0');

    s.clear();
    EXPECT_EQ(s.count(), 0);
    EXPECT_EQ(s.size(), 1024);
    EXPECT_EQ(readAll(s), QByteArray(1024, '\0'));
}

TEST(TarHeader, FieldsAndChecksum)
{
    DiskTree d;
    d.file(QStringLiteral("data.bin"), pattern(1000, 7));
    setMtime(d.path(QStringLiteral("data.bin")), 1700000000, 999999999);
    TtarStream s;
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("data.bin")), QStringLiteral("dir/data.bin")));
    EXPECT_EQ(s.files()[0].mtime, 1700000000);
    const QByteArray h = readAll(s).left(512);
    EXPECT_EQ(field(h, 0, 100), QByteArray("dir/data.bin").leftJustified(100, '\0'));
    EXPECT_EQ(field(h, 100, 8), QByteArray("0100777", 8));
    EXPECT_EQ(field(h, 108, 8), QByteArray("0000000", 8));
    EXPECT_EQ(field(h, 116, 8), QByteArray("0000000", 8));
    EXPECT_EQ(field(h, 124, 12), QByteArray("00000001750", 12));
    EXPECT_EQ(field(h, 136, 12), octal(1700000000, 11) + '\0');
    EXPECT_EQ(field(h, 148, 8), octal(checksumOf(h), 6) + '\0' + ' ');
    EXPECT_EQ(h[156], '0');
    EXPECT_TRUE(allZero(field(h, 157, 100)));
    EXPECT_EQ(field(h, 257, 8), QByteArray("ustar\0" "00", 8));
    EXPECT_TRUE(allZero(h.mid(265)));
}

TEST(TarHeader, NumbersBeyondOctalTakeBase256)
{
    DiskTree d;
    const QString huge = d.path(QStringLiteral("huge"));
    const qint64 nine = qint64(9) << 30; // past the 8 GiB of 11 octal digits
    sparseFile(huge, nine);
    d.file(QStringLiteral("old"), "x");
    setMtime(d.path(QStringLiteral("old")), -86400); // 1969-12-31

    TtarStream s;
    ASSERT_TRUE(s.addFile(huge));
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("old"))));
    EXPECT_EQ(s.totalSize(), 512 + nine + 512 + 512 + 1024);
    // Headers only: the 9 GiB of data are never read.
    const QByteArray h = readAt(s, 0, 512);
    EXPECT_EQ(field(h, 124, 12), QByteArray("\x80\0\0\0\0\0\0\x02\x40\0\0\0", 12));
    EXPECT_EQ(field(h, 148, 8), octal(checksumOf(h), 6) + '\0' + ' ');
    const QByteArray o = readAt(s, s.files()[1].firstByte, 512);
    EXPECT_EQ(nameField(o), "old");
    // -86400 in 96-bit two's complement: 0xFF... FE AE 80.
    EXPECT_EQ(field(o, 136, 12), QByteArray("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFE\xAE\x80", 12));
    EXPECT_EQ(field(o, 148, 8), octal(checksumOf(o), 6) + '\0' + ' ');
}

TEST(TarNames, MadeSafeAndOnlyRegularFilesAdded)
{
    DiskTree d;
    d.file(QStringLiteral("dir/file.txt"), "abc");
    const QString file = d.path(QStringLiteral("dir/file.txt"));
    const struct {
        QString dst;
        QString stored; // empty: refused
    } cases[] = {
        {QString(), QStringLiteral("file.txt")},
        {QStringLiteral("\\a\\..\\b/./c//d.txt"), QStringLiteral("a/b/c/d.txt")},
        {QStringLiteral("/abs/x"), QStringLiteral("abs/x")},
        {QStringLiteral("../../etc/passwd"), QStringLiteral("etc/passwd")},
        {QStringLiteral("x/"), QStringLiteral("x")},
        {QStringLiteral(".."), QString()},
        {QStringLiteral("/./\\"), QString()},
    };
    for (const auto &c : cases) {
        TtarStream s;
        EXPECT_EQ(s.addFile(file, c.dst), !c.stored.isEmpty()) << qPrintable(c.dst);
        if (c.stored.isEmpty()) {
            EXPECT_EQ(s.count(), 0);
            continue;
        }
        EXPECT_EQ(s.files()[0].dst, c.stored);
        EXPECT_EQ(nameField(readAll(s)), c.stored.toUtf8());
    }

    ASSERT_EQ(::mkfifo(d.path(QStringLiteral("fifo")).toLocal8Bit().constData(), 0644), 0);
    ASSERT_EQ(::symlink("dir/file.txt", d.path(QStringLiteral("toFile")).toLocal8Bit().constData()), 0);
    ASSERT_EQ(::symlink("dir", d.path(QStringLiteral("toDir")).toLocal8Bit().constData()), 0);
    ASSERT_EQ(::symlink("nowhere", d.path(QStringLiteral("dangling")).toLocal8Bit().constData()), 0);
    TtarStream s;
    EXPECT_FALSE(s.addFile(d.path(QStringLiteral("dir"))));
    EXPECT_FALSE(s.addFile(d.path(QStringLiteral("fifo")))); // and does not hang
    EXPECT_FALSE(s.addFile(d.path(QStringLiteral("toDir"))));
    EXPECT_FALSE(s.addFile(d.path(QStringLiteral("dangling"))));
    EXPECT_FALSE(s.addFile(d.path(QStringLiteral("missing"))));
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("toFile"))));
    ASSERT_EQ(s.count(), 1);
    EXPECT_EQ(s.files()[0].dst, QStringLiteral("toFile"));
    EXPECT_EQ(s.files()[0].size, 3);
    EXPECT_EQ(readAll(s).mid(512, 3), "abc");
}

TEST(TarNames, OemCodePageWhenAsked)
{
    DiskTree d;
    d.file(QStringLiteral("f"), "x");
    const QString name = QString::fromUtf8("caf\xC3\xA9/\xC3\x9C" "ber \xE2\x82\xAC \xE6\x97\xA5.txt");
    TtarStream utf;
    ASSERT_TRUE(utf.addFile(d.path(QStringLiteral("f")), name));
    EXPECT_EQ(nameField(readAll(utf)), name.toUtf8());

    TtarStream oem;
    oem.fileNamesOEM = true;
    ASSERT_TRUE(oem.addFile(d.path(QStringLiteral("f")), name));
    EXPECT_EQ(nameField(readAll(oem)), QByteArray("caf\x82/\x9A" "ber ? ?.txt"));
    // A decomposed accent is composed first.
    EXPECT_EQ(oem.encodedName(QString::fromUtf8("e\xCC\x81t\xC3\xA9")), QByteArray("\x82t\x82"));
    EXPECT_EQ(oem.encodedName(QString::fromUtf8("\xCE\xB1\xC3\x9F\xC2\xB1\xC2\xA0")), QByteArray("\xE0\xE1\xF1\xFF"));

    // The layout counts the name's bytes in the code page used: 99 "é" are
    // 99 bytes there, one header, but 198 bytes of UTF-8, a long name.
    const QString accents(99, QChar(0xE9));
    TtarStream shortOem;
    shortOem.fileNamesOEM = true;
    ASSERT_TRUE(shortOem.addFile(d.path(QStringLiteral("f")), accents));
    EXPECT_EQ(shortOem.totalSize(), 512 + 512 + 1024);
    TtarStream longUtf;
    ASSERT_TRUE(longUtf.addFile(d.path(QStringLiteral("f")), accents));
    EXPECT_EQ(longUtf.totalSize(), 1536 + 512 + 1024);
}

TEST(TarChangedFiles, ShrunkOrDeletedFilesAreZeroFilledInPlace)
{
    DiskTree d;
    const QByteArray a = pattern(1000, 1), b = pattern(2000, 2), c = pattern(100, 3);
    d.file(QStringLiteral("a"), a);
    d.file(QStringLiteral("b"), b);
    d.file(QStringLiteral("c"), c);
    TtarStream s;
    QStringList shortFiles;
    s.onShortFile = [&](const QString &src) { shortFiles += src; };
    for (const char *n : {"a", "b", "c"})
        ASSERT_TRUE(s.addFile(d.path(QString::fromLatin1(n))));
    const qint64 total = s.totalSize();

    ASSERT_TRUE(QFile::resize(d.path(QStringLiteral("b")), 300));
    ASSERT_TRUE(QFile::remove(d.path(QStringLiteral("c"))));
    d.file(QStringLiteral("a"), a + "grown"); // only the recorded 1000 bytes go out

    for (int pass = 0; pass < 2; ++pass) {
        const QByteArray all = readAll(s);
        ASSERT_EQ(all.size(), total);
        EXPECT_EQ(all.mid(512, 1000), a);
        EXPECT_TRUE(allZero(all.mid(1512, 24)));
        const qint64 bData = s.files()[1].firstByte + 512;
        EXPECT_EQ(all.mid(bData, 300), b.left(300));
        EXPECT_TRUE(allZero(all.mid(bData + 300, 1700)));
        const qint64 cHeader = s.files()[2].firstByte;
        EXPECT_EQ(cHeader, bData + 2048);
        EXPECT_EQ(nameField(all.mid(cHeader, 512)), "c");
        EXPECT_TRUE(allZero(all.mid(cHeader + 512)));
    }
    // Once per file, however often it is read.
    EXPECT_EQ(shortFiles, QStringList({d.path(QStringLiteral("b")), d.path(QStringLiteral("c"))}));
}


TEST(TarRegions, FileDataGoesStraightFromTheFilesAndShortFilesFallBackToZeros)
{
    DiskTree d;
    const QByteArray a = pattern(70000, 1), b = pattern(3000, 2);
    d.file(QStringLiteral("a"), a);
    d.file(QStringLiteral("b"), b);
    TtarStream s;
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("a"))));
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("b"))));
    const QByteArray straight = readAll(s);
    s.close();
    for (const qint64 chunk : {1, 511, 4096, 1 << 20})
        EXPECT_EQ(sendThroughRegions(s, chunk), straight) << chunk;

    // b shrinks: its region ends early and the rest of it comes as zeros.
    QStringList shortFiles;
    s.onShortFile = [&](const QString &src) { shortFiles += src; };
    ASSERT_TRUE(QFile::resize(d.path(QStringLiteral("b")), 1000));
    const QByteArray sent = sendThroughRegions(s, 4096);
    ASSERT_EQ(sent.size(), straight.size());
    const qint64 bData = s.files()[1].firstByte + 512;
    EXPECT_EQ(sent.left(bData + 1000), straight.left(bData + 1000));
    EXPECT_TRUE(allZero(sent.mid(bData + 1000, 2000)));
    EXPECT_EQ(shortFiles, QStringList{d.path(QStringLiteral("b"))});
}
