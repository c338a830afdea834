#include "vfsFormatTestUtil.h"

#include <QTemporaryDir>
#include <QFile>

#include <cmath>
#include <limits>

using namespace vfsTest;

namespace {

QByteArray save(const Tvfs &v)
{
    return vfsToBytes(v, QStringLiteral("1.0"), QStringLiteral("400"));
}

// Reads `data` into `v`, answering every question with `yes`.
TvfsLoadFlags load(Tvfs &v, const QByteArray &data, bool yes = false, bool backupExists = false,
                   QStringList *asked = nullptr)
{
    TvfsLoadFlags flags;
    TvfsReadHooks hooks;
    hooks.backupExists = backupExists;
    hooks.askYesNo = [&](const QString &text, bool) {
        if (asked)
            asked->append(text);
        return yes;
    };
    hooks.message = [&](const QString &text) {
        if (asked)
            asked->append(text);
    };
    v.resetVFS();
    bytesToVfs(data, v, flags, hooks);
    return flags;
}

class VfsFormat : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QFile f(dir.filePath(QStringLiteral("data.bin")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("payload");
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(VfsFormat, EmptyTreeIsByteExact)
{
    Tvfs v;
    const QByteArray expected = QByteArray::fromHex(
        "00000000070000005a4f462e5646530500000004000000010000001600000003000000312e30170000000300000034"
        "30300600000004000000304476e50b0000005b00000003000000040000000f000400120000002d000000696e646578"
        "2e68746d6c3b696e6465782e68746d3b64656661756c742e68746d6c3b64656661756c742e68746d13000000120000"
        "002a2e68746d3b2a2e68746d6c3b2a2e637373");
    EXPECT_EQ(save(v).toHex(), expected.toHex());
}

TEST_F(VfsFormat, ChecksumCountsWholeWordsOnly)
{
    EXPECT_EQ(vfsChecksum(QByteArray("\x01\0\0\0\xFF", 5)), 1u);
    EXPECT_EQ(vfsChecksum(QByteArray("\xFF\xFF\xFF\xFF\x02\0\0\0", 8)), 1u); // wraps modulo 2^32
    EXPECT_EQ(vfsChecksum(QByteArray("abc")), 0u);
}

TEST_F(VfsFormat, RoundTripKeepsEveryField)
{
    Tvfs a;
    buildRichTree(a, dir.path());
    const QByteArray bytes = save(a);
    Tvfs b;
    const TvfsLoadFlags flags = load(b, bytes);
    EXPECT_FALSE(flags.problematic());
    EXPECT_TRUE(flags.containsMacros); // the partial template holds "{."
    expectSameTree(*a.root(), *b.root());
    EXPECT_EQ(b.tempDownloadCounts(), a.tempDownloadCounts());
    // Users of nodes and upload folders are registered for the rest of the program.
    EXPECT_TRUE(b.usersInVFS.match(QStringLiteral("j\u00f6e"), QStringLiteral("p:w\u20acd")));
    EXPECT_TRUE(b.usersInVFS.match(QStringLiteral("ann"), QString()));
    EXPECT_EQ(b.uploadFolders, QStringList{dir.path()});
    // Same tree, same bytes.
    EXPECT_EQ(save(b), bytes);
}

TEST_F(VfsFormat, ClearedRootMasksStayCleared)
{
    Tvfs a;
    a.root()->defaultFileMask.clear();
    a.root()->dontCountAsDownloadMask = QStringLiteral("*.txt");
    Tvfs b;
    load(b, save(a));
    EXPECT_EQ(b.root()->defaultFileMask, QString());
    EXPECT_EQ(b.root()->dontCountAsDownloadMask, "*.txt");
}

TEST_F(VfsFormat, NonAsciiTextSetsTheTextFlag)
{
    Tvfs v;
    addVirtual(v, v.root(), QStringLiteral("plain"));
    addVirtual(v, v.root(), QString::fromUtf8("\xC3\xA9t\xC3\xA9"));
    const QByteArray bytes = save(v);
    const QByteArray ascii = Ttlv::textRecord(VR_NAME, QStringLiteral("plain"));
    EXPECT_EQ(Ttlv::getU32(ascii.constData()), quint32(VR_NAME));
    EXPECT_TRUE(bytes.contains(ascii));
    QByteArray utf8Name;
    Ttlv::putU32(utf8Name, VR_NAME | Ttlv::utf8Flag);
    Ttlv::putU32(utf8Name, 5);
    utf8Name += "\xC3\xA9t\xC3\xA9";
    EXPECT_TRUE(bytes.contains(utf8Name));
}

TEST_F(VfsFormat, LargeBodiesAreCompressedAboveTheThreshold)
{
    // Find the comment length that makes the body exactly the threshold.
    Tvfs v;
    addVirtual(v, v.root(), QStringLiteral("f"));
    // magic, format, version "1.0", build "400", checksum
    const qsizetype header = 15 + 12 + 11 + 11 + 12;
    const qsizetype body0 = save(v).size() - header;
    const qsizetype n = VFS_COMPRESS_ABOVE - body0 - 8;
    for (qsizetype extra : {qsizetype(0), qsizetype(1)}) {
        v.root()->comment = QString(n + extra, u'c');
        const QByteArray bytes = save(v);
        Ttlv t;
        t.parse(bytes.mid(header));
        const int first = t.pop();
        if (extra == 0) {
            EXPECT_EQ(bytes.size() - header, VFS_COMPRESS_ABOVE);
            EXPECT_EQ(first, VR_ROOT);
        } else {
            EXPECT_EQ(first, VR_COMPRESSED);
            EXPECT_LT(bytes.size(), 2000);
        }
        Tvfs b;
        EXPECT_FALSE(load(b, bytes).problematic());
        expectSameTree(*v.root(), *b.root());
    }
}

TEST_F(VfsFormat, LargeTreeRoundTripsCompressed)
{
    Tvfs a;
    for (int i = 0; i < 60; ++i) {
        Tfile *f = addVirtual(a, a.root(), QStringLiteral("folder %1").arg(i));
        for (int j = 0; j < 40; ++j) {
            Tfile *g = a.add(Tfile::createLink(QStringLiteral("link %1").arg(j)), f);
            g->resource = QStringLiteral("http://host/%1/%2").arg(i).arg(j);
        }
    }
    const QByteArray bytes = save(a);
    EXPECT_TRUE(bytes.contains(Ttlv::record(VR_COMPRESSED, QByteArray()).left(4)));
    Tvfs b;
    EXPECT_FALSE(load(b, bytes).problematic());
    EXPECT_EQ(countNodes(*b.root()), 1 + 60 * 41);
    expectSameTree(*a.root(), *b.root());
}

TEST_F(VfsFormat, OldBuildsAreConverted)
{
    struct Case {
        const char *build; // null: no build record at all
        const char *list;
        QStringList expected;
        bool archivableAdded;
    } cases[] = {
        {"100", "*;bob;*+;BOB;alice", {"@any account", "@anyone", "alice", "bob"}, true},
        {nullptr, "*", {"@anyone"}, true},
        {"150", "zed;*+", {"@any account", "zed"}, false},
        {"211", "@any account;@anonymous;bob", {"@anyone", "bob"}, false},
        {"212", "@anonymous;@any account", {"@anyone"}, false},
        {"210", "@any account;@anonymous", {"@anonymous", "@any account"}, false},
        {"213", "*;zed;bob", {"*", "zed", "bob"}, false}, // current builds keep lists as stored
    };
    for (const Case &c : cases) {
        const QString list = QString::fromLatin1(c.list);
        const QByteArray root =
            Ttlv::record(VR_ROOT, flagsRec({FA_FOLDER, FA_VIRTUAL, FA_ROOT, FA_BROWSABLE})
                                      + Ttlv::textRecord(VR_ACCESS, list));
        const QByteArray body = root + vfolderRec(QStringLiteral("sub"), Ttlv::textRecord(VR_UPLOAD, list));
        Tvfs v;
        const TvfsLoadFlags flags =
            load(v, fileAround(body, c.build ? QString::fromLatin1(c.build) : QString()));
        const std::string what = c.build ? c.build : "none";
        EXPECT_FALSE(flags.problematic()) << what;
        EXPECT_EQ(v.root()->accounts[FA_ACCESS], c.expected) << what;
        const Tfile *sub = child(v.root(), QStringLiteral("sub"));
        ASSERT_TRUE(sub) << what;
        EXPECT_EQ(sub->accounts[FA_UPLOAD], c.expected) << what;
        EXPECT_EQ(v.root()->flags.has(FA_ARCHIVABLE), c.archivableAdded) << what;
    }
}

TEST_F(VfsFormat, OldFormatInvertsBrowsingAndReadsRetiredRecords)
{
    // Old files stored "let browse" inverted: the root's value in the file
    // decides the value of every folder.
    const QByteArray root = Ttlv::record(VR_ROOT, flagsRec({FA_FOLDER, FA_VIRTUAL, FA_ROOT}));
    const QByteArray file = nodeRec(flagsRec({}) + Ttlv::textRecord(VR_NAME, QStringLiteral("a.txt"))
                                    + Ttlv::record(VR_NOCOUNT_OLD, QByteArray("\x01", 1))
                                    + Ttlv::record(VR_USERPWD_OLD, QByteArray("s\xE9:pw").toBase64()));
    const QByteArray body = root + vfolderRec(QStringLiteral("sub"), file);
    Tvfs v;
    const TvfsLoadFlags flags = load(v, fileAround(body, QStringLiteral("100"), true));
    EXPECT_TRUE(flags.oldFormat);
    EXPECT_TRUE(flags.problematic());
    EXPECT_TRUE(v.root()->flags.has(FA_BROWSABLE));
    const Tfile *sub = child(v.root(), QStringLiteral("sub"));
    ASSERT_TRUE(sub);
    EXPECT_TRUE(sub->flags.has(FA_BROWSABLE));
    const Tfile *a = child(sub, QStringLiteral("a.txt"));
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->flags.has(FA_DONT_COUNT_AS_DL));
    EXPECT_EQ(a->user, QString::fromUtf8("s\xC3\xA9"));
    EXPECT_EQ(a->pwd, "pw");
}

TEST_F(VfsFormat, FlagsAndContentSetLoadFlags)
{
    struct Case {
        const char *what;
        QByteArray body;
        bool TvfsLoadFlags::*flag;
    } cases[] = {
        {"unknown record", vfolderRec("a", Ttlv::record(77, "future")), &TvfsLoadFlags::unknownData},
        {"visible only to anonymous",
         nodeRec(flagsRec({FA_FOLDER, FA_VIRTUAL, FA_VIS_ONLY_ANON}) + Ttlv::textRecord(VR_NAME, "a")),
         &TvfsLoadFlags::anonymousOnly},
        {"macro marker", vfolderRec("a", Ttlv::textRecord(VR_COMMENT, "{.time.}")), &TvfsLoadFlags::containsMacros},
        {"macro marker compressed",
         Ttlv::record(VR_COMPRESSED, vfsDeflate(vfolderRec("a", Ttlv::textRecord(VR_COMMENT, "{.time.}")), 1)),
         &TvfsLoadFlags::containsMacros},
    };
    for (const Case &c : cases) {
        Tvfs v;
        const TvfsLoadFlags flags = load(v, fileAround(c.body));
        EXPECT_TRUE(flags.*(c.flag)) << c.what;
        // The rest of the file is read all the same.
        EXPECT_TRUE(child(v.root(), QStringLiteral("a"))) << c.what;
    }
}

TEST_F(VfsFormat, NewerFormatAsksWhetherToStop)
{
    QByteArray data = fileAround(vfolderRec("a"));
    // Turn the format version 1 into 2.
    const QByteArray one = Ttlv::intRecord(VR_FORMAT, 1);
    data.replace(data.indexOf(one), one.size(), Ttlv::intRecord(VR_FORMAT, 2));
    for (bool stop : {true, false}) {
        Tvfs v;
        QStringList asked;
        const TvfsLoadFlags flags = load(v, data, stop, false, &asked);
        EXPECT_EQ(asked, QStringList{MSG_VFS_NEWER_INCOMPATIBLE});
        EXPECT_EQ(flags.stopped, stop);
        EXPECT_EQ(child(v.root(), QStringLiteral("a")) != nullptr, !stop);
    }
}

TEST_F(VfsFormat, ChecksumFailureOffersBackupOrStop)
{
    Tvfs a;
    buildRichTree(a, dir.path());
    QByteArray data = save(a);
    data[data.size() - 30] = char(data[data.size() - 30] ^ 0x10);
    struct Case {
        bool backup;
        bool yes;
        QStringList asked;
        bool backupRequested;
        bool stopped;
    } cases[] = {
        {true, true, {MSG_VFS_CORRUPTED_BACKUP}, true, true},
        {true, false, {MSG_VFS_CORRUPTED_BACKUP, MSG_VFS_CORRUPTED_CRC}, false, false},
        {false, true, {MSG_VFS_CORRUPTED_CRC}, false, true},
        {false, false, {MSG_VFS_CORRUPTED_CRC}, false, false},
    };
    for (const Case &c : cases) {
        Tvfs v;
        QStringList asked;
        const TvfsLoadFlags flags = load(v, data, c.yes, c.backup, &asked);
        EXPECT_EQ(asked.mid(0, c.asked.size()), c.asked);
        EXPECT_EQ(flags.backupRequested, c.backupRequested);
        EXPECT_EQ(flags.stopped, c.stopped);
        EXPECT_TRUE(flags.corrupted);
        EXPECT_TRUE(flags.problematic());
        if (c.stopped) {
            EXPECT_TRUE(v.root()->children().isEmpty());
        }
    }
}

TEST_F(VfsFormat, FileFlagsAreSanitised)
{
    // A node claiming to be the root or temporary, with retired bits set.
    const quint32 word = TfileAttributes({FA_FOLDER, FA_VIRTUAL, FA_ROOT, FA_TEMP, FA_NO_MORE_USED1,
                                          FA_NO_MORE_USED2, FA_HIDDEN})
                             .toWord();
    const QByteArray node = nodeRec(Ttlv::intRecord(VR_FLAGS, qint32(word)) + Ttlv::textRecord(VR_NAME, "a"));
    // A root record without its root bit.
    const QByteArray root = Ttlv::record(VR_ROOT, flagsRec({FA_VIRTUAL, FA_BROWSABLE}));
    Tvfs v;
    load(v, fileAround(root + node));
    const Tfile *a = child(v.root(), QStringLiteral("a"));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->flags, TfileAttributes({FA_FOLDER, FA_VIRTUAL, FA_HIDDEN}));
    EXPECT_TRUE(v.root()->isRoot());
    EXPECT_TRUE(v.root()->isFolder());
    EXPECT_EQ(v.root()->name, "/");
}

TEST_F(VfsFormat, InvalidNamesAndValuesAreRefused)
{
    const QByteArray bad[] = {
        nodeRec(flagsRec({FA_FOLDER, FA_VIRTUAL})), // no name at all
        vfolderRec(""),
        vfolderRec("."),
        vfolderRec(".."),
        vfolderRec("a/b"),
        vfolderRec(QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"))),
    };
    for (const QByteArray &node : bad) {
        Tvfs v;
        // The refused node's children go with it.
        const QByteArray withChild = node.left(4) + QByteArray(4, 0) + node.mid(8) + vfolderRec("kid");
        QByteArray fixed = withChild;
        const quint32 len = quint32(withChild.size() - 8);
        fixed.replace(4, 4, QByteArray(reinterpret_cast<const char *>(&len), 4));
        const TvfsLoadFlags flags = load(v, fileAround(fixed + vfolderRec("good")));
        EXPECT_TRUE(flags.corrupted);
        ASSERT_EQ(v.root()->children().size(), 1);
        EXPECT_EQ(v.root()->children().at(0)->name, "good");
    }
    // Dates that are not numbers are not taken.
    Tvfs v;
    const QByteArray nan = nodeRec(flagsRec({FA_LINK, FA_VIRTUAL}) + Ttlv::textRecord(VR_NAME, "l")
                                   + Ttlv::doubleRecord(VR_ADDED, std::numeric_limits<double>::quiet_NaN()));
    load(v, fileAround(nan));
    const Tfile *l = child(v.root(), QStringLiteral("l"));
    ASSERT_TRUE(l);
    EXPECT_TRUE(std::isfinite(l->atime));
    EXPECT_TRUE(std::isfinite(l->mtime));
}

TEST_F(VfsFormat, DamagedStructureStopsOnlyItsRegion)
{
    const QByteArray shortCount = nodeRec(flagsRec({}) + Ttlv::textRecord(VR_NAME, "f") + Ttlv::record(VR_DLCOUNT, "\x01\x02"));
    QByteArray nested = Ttlv::intRecord(VR_FLAGS, 1);
    for (int i = 0; i < Ttlv::maxDepth + 5; ++i)
        nested = nodeRec(nested + Ttlv::textRecord(VR_NAME, "n"));
    struct Case {
        const char *what;
        QByteArray body;
    } cases[] = {
        {"record longer than its node", vfolderRec("a").left(8 + 20) + QByteArray("\x02\0\0\0\xFF\0\0\0", 8)},
        {"short integer", shortCount},
        {"nesting too deep", nested},
        {"compressed body too large", Ttlv::record(VR_COMPRESSED, vfsDeflate(QByteArray(3 << 20, 'x'), 9))},
        {"compressed body truncated",
         Ttlv::record(VR_COMPRESSED, vfsDeflate(vfolderRec("z"), 1).left(10))},
        {"compressed inside a node", vfolderRec("a", Ttlv::record(VR_COMPRESSED, vfsDeflate(vfolderRec("z"), 1)))},
    };
    for (const Case &c : cases) {
        Tvfs v;
        TvfsLoadFlags flags;
        TvfsReadHooks hooks;
        hooks.inflateCap = 1 << 20;
        bytesToVfs(fileAround(c.body + vfolderRec("after")), v, flags, hooks);
        EXPECT_TRUE(flags.corrupted) << c.what;
        EXPECT_TRUE(flags.problematic()) << c.what;
    }
}

TEST_F(VfsFormat, RecordsInUnusualOrderKeepTheTreeConsistent)
{
    // A file, then a node named before its flags make it a folder: folders
    // come first all the same.
    const QByteArray file = nodeRec(flagsRec({}) + Ttlv::textRecord(VR_NAME, "b"));
    const QByteArray lateFolder = nodeRec(Ttlv::textRecord(VR_NAME, "c") + flagsRec({FA_FOLDER, FA_VIRTUAL}));
    // A node whose children come before the flags that make it a link.
    const QByteArray lateLink = nodeRec(Ttlv::textRecord(VR_NAME, "l") + flagsRec({FA_FOLDER, FA_VIRTUAL})
                                        + vfolderRec("inside") + flagsRec({FA_LINK, FA_VIRTUAL}));
    Tvfs v;
    ASSERT_TRUE(v.settings().foldersBefore);
    const TvfsLoadFlags flags = load(v, fileAround(file + lateFolder + lateLink));
    EXPECT_TRUE(flags.corrupted);
    QStringList names;
    for (const TfilePtr &c : v.root()->children())
        names.append(c->name);
    EXPECT_EQ(names, (QStringList{"c", "b", "l"}));
    const Tfile *l = child(v.root(), QStringLiteral("l"));
    ASSERT_TRUE(l);
    EXPECT_TRUE(l->isLink());
    EXPECT_TRUE(l->children().isEmpty());
}

TEST_F(VfsFormat, InflateHonoursItsCap)
{
    const QByteArray plain(100000, 'q');
    const QByteArray z = vfsDeflate(plain, 1);
    bool ok = false;
    EXPECT_EQ(vfsInflate(z.constData(), z.size(), plain.size(), &ok), plain);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(vfsInflate(z.constData(), z.size(), plain.size() - 1, &ok).isEmpty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(vfsInflate(z.constData(), z.size() - 3, 1 << 20, &ok).isEmpty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(vfsInflate("garbage!", 8, 1 << 20, &ok).isEmpty());
    EXPECT_FALSE(ok);
}

TEST_F(VfsFormat, CountersAreReplacedByTheFile)
{
    Tvfs a;
    a.setTempDownloadCount(QStringLiteral("/srv/a"), 3);
    const QByteArray bytes = save(a);
    Tvfs b;
    b.setTempDownloadCount(QStringLiteral("/srv/old"), 1);
    TvfsLoadFlags flags;
    bytesToVfs(bytes, b, flags);
    EXPECT_EQ(b.tempDownloadCounts(), a.tempDownloadCounts());
}

TEST_F(VfsFormat, NodesOfTheCurrentRunAreNotStored)
{
    // The same tree, once with extra nodes published for this run only
    // (at the root and deeper), once without them: equal files.
    Tvfs with, without;
    for (Tvfs *v : {&with, &without}) {
        Tfile *kept = addVirtual(*v, v->root(), QStringLiteral("kept"));
        kept->atime = 45000;
        addVirtual(*v, kept, QStringLiteral("inner"))->atime = 45000;
        if (v == &with)
            addVirtual(*v, kept, QStringLiteral("runInner"))->runOnly = true;
    }
    Tfile *runFile = with.add(Tfile::create(dir.filePath(QStringLiteral("data.bin"))), with.root());
    ASSERT_NE(runFile, nullptr);
    runFile->runOnly = true;
    runFile->ownDownloads = 3;
    EXPECT_EQ(save(with), save(without));
    // Counters of files below real folders are kept whatever published them.
    with.setTempDownloadCount(dir.filePath(QStringLiteral("sub/x.txt")), 2);
    Tvfs back;
    load(back, save(with));
    EXPECT_EQ(back.tempDownloadCounts(), with.tempDownloadCounts());
}

TEST_F(VfsFormat, RandomDamageNeverBreaksTheReader)
{
    Tvfs a;
    buildRichTree(a, dir.path());
    QByteArray plain = save(a);
    for (int i = 0; i < 30; ++i)
        addVirtual(a, a.root(), QStringLiteral("pad %1").arg(i))->comment = QString(400, u'p');
    const QByteArray compressed = save(a);
    ASSERT_TRUE(compressed.contains(QByteArray("\x18\0\0\0", 4)));
    quint32 seed = 12345;
    auto rnd = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    int loaded = 0;
    Tvfs v;
    for (int round = 0; round < 3000; ++round) {
        QByteArray d = (round & 1) ? compressed : plain;
        switch (rnd() % 4) {
        case 0:
            d.truncate(qsizetype(rnd() % quint32(d.size())));
            break;
        case 1:
            for (int k = 0, n = 1 + rnd() % 4; k < n; ++k)
                d[rnd() % quint32(d.size())] = char(rnd());
            break;
        case 2: { // a length field of some record becomes large
            const qsizetype at = rnd() % quint32(d.size() - 4);
            d.replace(at, 4, QByteArray("\xF0\xFF\xFF\x7F", 4));
            break;
        }
        default:
            d.insert(qsizetype(rnd() % quint32(d.size())), QByteArray(int(1 + rnd() % 9), char(rnd())));
            break;
        }
        v.resetVFS();
        TvfsLoadFlags flags;
        TvfsReadHooks hooks;
        // Read on past bad checksums, so that damaged bodies are parsed too.
        hooks.askYesNo = [](const QString &, bool) { return false; };
        bytesToVfs(d, v, flags, hooks);
        loaded += countNodes(*v.root()) > 1;
    }
    EXPECT_GT(loaded, 100);
}
