// Folder listings: what a request sees in a folder, in which order.

#include "vfsTestTools.h"

#include "util/asciiCase.h"
#include "vfs/account.h"
#include "vfs/comments.h"
#include "vfs/fileListing.h"
#include "vfs/vfs.h"

#include <QCollator>
#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSet>
#include <QThread>

#include <algorithm>

namespace {

class ListConn : public TestConn, public TqueryFlags {
public:
    using TestConn::TestConn;
    bool hasBareUrlVar(const QString &name) const override { return bare.contains(name); }
    QStringList bare;
};

QStringList names(const TfileListing &l)
{
    QStringList out;
    for (const TfilePtr &f : l.dir)
        out << f->name;
    return out;
}

class Listing : public ::testing::Test {
protected:
    void SetUp() override
    {
        listingOptions() = TlistingOptions();
        commentOptions() = TcommentOptions();
        disk.file("b.mp3", "12345");
        disk.file("a.txt", "1");
        disk.file("big red car.txt", "123");
        disk.file("Zed.MP3", "1234567");
        disk.file(".hidden", "h");
        disk.file("zof.comments.txt", "a.txt=first\\nline\r\n*.mp3=music {.x.}\r\n");
        disk.file("x.md5", "abc");
        disk.file("zof.diff.tpl", "[x]");
        disk.file("sub/inner.txt", "in");
        disk.file("sub/deep/big.txt", "deep");
        disk.folder("emptydir");
        accounts.list.clear();
        Taccount bob;
        bob.user = "bob";
        bob.pwd = "pw";
        accounts.list << bob;
        vfs.setAccounts(&accounts);
        real = vfs.add(Tfile::create(disk.path()));
        ASSERT_TRUE(real);
        virt = vfs.add(Tfile::createVirtualFolder("virt"));
        link = vfs.add(Tfile::createLink("link"), virt);
        link->resource = "http://example.com/";
        folderV = vfs.add(Tfile::createVirtualFolder("folder"), virt);
    }
    QStringList list(const QHash<QString, QString> &vars = {}, Tfile *folder = nullptr, const QString &sortKey = "n")
    {
        conn.vars = vars;
        TfileListing l;
        l.fromFolder(folder ? folder : real, &conn, TfileListing::shouldRecur(&conn));
        l.sort(&conn, sortKey);
        return names(l);
    }

    DiskTree disk;
    Taccounts accounts;
    Tvfs vfs;
    Tfile *real = nullptr, *virt = nullptr, *link = nullptr, *folderV = nullptr;
    ListConn conn;
};

TEST_F(Listing, DiskContentWithoutCommentAndFingerprintFiles)
{
    EXPECT_EQ(list(), (QStringList{"emptydir", "sub", "a.txt", "b.mp3", "big red car.txt", "Zed.MP3"}));
    listingOptions().listHiddenFiles = true;
    EXPECT_TRUE(list().contains(".hidden"));
    commentOptions().enableFingerprints = false;
    EXPECT_TRUE(list().contains("x.md5"));
}

TEST_F(Listing, ListedAgainAfterChangesShowsThem)
{
    const auto sizes = [this] {
        TfileListing l;
        l.fromFolder(real, &conn);
        QHash<QString, qint64> out;
        for (const TfilePtr &f : l.dir)
            out.insert(f->name, f->size);
        return out;
    };
    EXPECT_EQ(sizes().value("a.txt"), 1);
    disk.file("a.txt", "grown");
    disk.file("added.txt", "12");
    ASSERT_TRUE(QFile::remove(disk.path("b.mp3")));
    const auto now = sizes();
    EXPECT_EQ(now.value("a.txt"), 5);
    EXPECT_EQ(now.value("added.txt"), 2);
    EXPECT_FALSE(now.contains("b.mp3"));
}

TEST_F(Listing, FiltersAndSearch)
{
    struct {
        QHash<QString, QString> vars;
        QStringList expected;
    } cases[] = {
        {{{"filter", "*.mp3"}}, {"b.mp3", "Zed.MP3"}},
        {{{"files-filter", "*.mp3"}}, {"emptydir", "sub", "b.mp3", "Zed.MP3"}},
        {{{"folders-filter", "s*"}}, {"sub", "a.txt", "b.mp3", "big red car.txt", "Zed.MP3"}},
        {{{"search", "big  red"}}, {"big red car.txt"}},
        {{{"search", "*.TXT"}}, {"a.txt", "big red car.txt"}},
    };
    listingOptions().recursiveListing = false; // search alone, without recursion
    for (const auto &c : cases)
        EXPECT_EQ(list(c.vars), c.expected) << c.vars.keys().join(",").toStdString();
}

TEST_F(Listing, SearchRecursesIntoNonMatchingFolders)
{
    EXPECT_EQ(list({{"search", "big"}}, nullptr, "?"), (QStringList{"big red car.txt", "big.txt"}));
    // Recursion needs the bare word.
    conn.bare = {"recursive"};
    const QStringList all = list({{"recursive", "1"}});
    EXPECT_TRUE(all.contains("inner.txt"));
    EXPECT_TRUE(all.contains("big.txt"));
    conn.bare.clear();
    EXPECT_FALSE(list({{"recursive", "1"}}).contains("inner.txt"));
    listingOptions().recursiveListing = false;
    conn.bare = {"recursive"};
    EXPECT_FALSE(list({{"recursive", "1"}}).contains("inner.txt"));
}

// A recursive listing or a search goes only where opening each folder would
// go: not into a folder the visitor may not access or that is not browsable.
TEST_F(Listing, RecursionEntersOnlyFoldersThatOpen)
{
    // The tree's "sub" stands for the disk folder: only bob gets in.
    Tfile *sub = vfs.add(Tfile::create(disk.path() + "/sub"), real);
    ASSERT_TRUE(sub);
    sub->accounts[FA_ACCESS] = QStringList{"bob"};
    const auto listAs = [&](ListConn &who, const QHash<QString, QString> &vars) {
        who.vars = vars;
        who.bare = {"recursive"};
        TfileListing l;
        l.fromFolder(real, &who, TfileListing::shouldRecur(&who));
        return names(l);
    };
    ListConn bob("bob", "pw");
    // The protected folder is listed (with its lock), its content is not.
    QStringList anon = listAs(conn, {{"recursive", ""}});
    EXPECT_TRUE(anon.contains("sub"));
    EXPECT_FALSE(anon.contains("inner.txt"));
    EXPECT_FALSE(anon.contains("big.txt"));
    EXPECT_FALSE(listAs(conn, {{"search", "big"}}).contains("big.txt"));
    EXPECT_TRUE(listAs(bob, {{"search", "big"}}).contains("big.txt"));
    EXPECT_TRUE(listAs(bob, {{"recursive", ""}}).contains("inner.txt"));
    // Not browsable: nobody's search goes in, nor into its disk subfolders.
    sub->flags.clear(FA_BROWSABLE);
    EXPECT_FALSE(listAs(bob, {{"search", "big"}}).contains("big.txt"));
    EXPECT_FALSE(listAs(bob, {{"recursive", ""}}).contains("inner.txt"));
    // A folder the listing does not show is not searched either.
    sub->flags.set(FA_BROWSABLE);
    sub->flags.set(FA_VIS_ONLY_ANON);
    EXPECT_FALSE(listAs(bob, {{"search", "big"}}).contains("big.txt"));
    EXPECT_FALSE(folderOpensFor(*sub, &conn));
    EXPECT_TRUE(folderOpensFor(*sub, &bob));
}

TEST_F(Listing, Paging)
{
    // Pages are cut from the collection order, before sorting.
    const QStringList all = list({}, nullptr, "?");
    ASSERT_EQ(all.size(), 6);
    EXPECT_EQ(list({{"limit", "2"}}, nullptr, "?"), all.mid(0, 2));
    EXPECT_EQ(list({{"limit", "2"}, {"page", "2"}}, nullptr, "?"), all.mid(2, 2));
    EXPECT_EQ(list({{"limit", "2"}, {"page", "3"}, {"offset", "1"}}, nullptr, "?"), all.mid(1, 2)); // offset wins
    EXPECT_EQ(list({{"limit", "x"}, {"page", "2"}}, nullptr, "?"), all); // non-numeric: no limit
    EXPECT_TRUE(list({{"limit", "2"}, {"page", "9"}}).isEmpty());
}

TEST_F(Listing, TreeChildrenHiddenProtectedAndLinks)
{
    Tfile *hidden = vfs.add(Tfile::createVirtualFolder("hidden"), virt);
    hidden->flags.set(FA_HIDDEN);
    Tfile *prot = vfs.add(Tfile::createVirtualFolder("prot"), virt);
    prot->accounts[FA_ACCESS] = QStringList{"bob"};
    Tfile *anonOnly = vfs.add(Tfile::createVirtualFolder("anon"), virt);
    anonOnly->flags.set(FA_VIS_ONLY_ANON);

    EXPECT_EQ(list({}, virt), (QStringList{"link", "anon", "folder", "prot"}));
    listingOptions().listProtectedItems = true;
    EXPECT_EQ(list({}, virt), (QStringList{"link", "anon", "folder"}));
    ListConn bob("bob", "pw");
    TfileListing l;
    l.fromFolder(virt, &bob);
    l.sort(&bob, "n");
    EXPECT_EQ(names(l), (QStringList{"link", "folder", "prot"}));
    // Without a connection nothing is visible.
    TfileListing none;
    none.fromFolder(virt, nullptr);
    EXPECT_TRUE(none.dir.isEmpty());
}

TEST_F(Listing, DiskEntryNamedLikeTreeChildListedOnce)
{
    Tfile *child = vfs.add(Tfile::createVirtualFolder("A.TXT"), real);
    ASSERT_TRUE(child);
    const QStringList l = list();
    EXPECT_EQ(l.count("A.TXT") + l.count("a.txt"), 1);
    EXPECT_TRUE(l.contains("A.TXT"));
}

TEST_F(Listing, CommentsFromFolderFilesAreInert)
{
    conn.vars.clear();
    TfileListing l;
    l.fromFolder(real, &conn);
    QHash<QString, QString> cmt;
    for (const TfilePtr &f : l.dir)
        cmt[f->name] = f->comment;
    EXPECT_EQ(cmt["a.txt"], "first\r\nline");
    EXPECT_EQ(cmt["b.mp3"], "{:music {.x.}:}"); // wildcard line, quoted
    EXPECT_EQ(cmt["Zed.MP3"], "{:music {.x.}:}");
    EXPECT_EQ(cmt["big red car.txt"], "");
}

TEST_F(Listing, HideEmptyFoldersIgnoresPaging)
{
    real->flags.set(FA_HIDE_EMPTY_FOLDERS);
    EXPECT_FALSE(list().contains("emptydir"));
    EXPECT_TRUE(list().contains("sub"));
    // On page 2 of the parent, "sub" (one item) is still not empty.
    conn.vars.clear();
    TfilePtr sub;
    TfileListing l;
    l.fromFolder(real, &conn);
    for (const TfilePtr &f : l.dir)
        if (f->name == "sub")
            sub = f;
    ASSERT_TRUE(sub);
    conn.vars = {{"limit", "1"}, {"page", "3"}};
    EXPECT_FALSE(isEmptyFolder(*sub, &conn));
    conn.vars = {{"filter", "*.none"}};
    EXPECT_TRUE(isEmptyFolder(*sub, &conn));
}

TEST_F(Listing, SymlinkLoopIsNotFollowed)
{
    ASSERT_TRUE(QFile::link(disk.path(), disk.path("sub/loop")));
    conn.bare = {"recursive"};
    const QStringList all = list({{"recursive", ""}}, nullptr, "?");
    EXPECT_EQ(all.count("inner.txt"), 1);
    EXPECT_EQ(all.count("a.txt"), 1);
}

TEST_F(Listing, FifoIsNeverListed)
{
    const QByteArray p = QFile::encodeName(disk.path("pipe"));
    ASSERT_EQ(::mkfifo(p.constData(), 0600), 0);
    EXPECT_FALSE(list().contains("pipe"));
}

TEST_F(Listing, SortKeysWithReverseAndFoldersBefore)
{
    struct {
        QHash<QString, QString> vars;
        QStringList expected;
    } cases[] = {
        {{{"sort", "s"}}, {"emptydir", "sub", "a.txt", "big red car.txt", "b.mp3", "Zed.MP3"}},
        {{{"sort", "s"}, {"rev", "1"}}, {"sub", "emptydir", "Zed.MP3", "b.mp3", "big red car.txt", "a.txt"}},
        {{{"sort", "!s"}, {"foldersbefore", "0"}}, {"Zed.MP3", "b.mp3", "big red car.txt", "a.txt", "sub", "emptydir"}},
        {{{"sort", "e"}}, {"emptydir", "sub", "b.mp3", "Zed.MP3", "a.txt", "big red car.txt"}},
        {{{"sort", "n"}, {"rev", "1"}}, {"sub", "emptydir", "Zed.MP3", "big red car.txt", "b.mp3", "a.txt"}},
        {{{"sort", "c"}}, {"emptydir", "sub", "big red car.txt", "a.txt", "b.mp3", "Zed.MP3"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(list(c.vars, nullptr, "?"), c.expected) << c.vars.values().join(",").toStdString();
    // An unknown key leaves the collection order.
    conn.vars = {{"sort", "x"}};
    TfileListing l;
    l.fromFolder(real, &conn);
    const QStringList before = names(l);
    l.sort(&conn, "n");
    EXPECT_EQ(names(l), before);
}

TEST_F(Listing, ComparisonIsAStrictWeakOrderForEveryKey)
{
    // Mixed folders, links and files with equal fields: every key and switch
    // must give an antisymmetric, transitive order.
    QList<TfilePtr> items;
    const char *n[] = {"m", "z.a", "a.b", "B", "b.A", "c"};
    for (int i = 0; i < 6; ++i) {
        TfilePtr f = i % 3 == 0 ? Tfile::createVirtualFolder(n[i]) : Tfile::createLink(n[i]);
        if (i % 3 == 2)
            f = Tfile::create("/nonexistent/" + QString(n[i]));
        f->size = i % 2;
        f->mtime = i % 2;
        f->comment = i % 2 ? "X" : "x";
        items << f;
    }
    for (QChar key : QStringView(u"nestdcq"))
        for (int flags = 0; flags < 8; ++flags) {
            const bool rev = flags & 1, fb = flags & 2, lb = flags & 4;
            const auto cmp = [&](int a, int b) {
                return TfileListing::compareItems(*items[a], *items[b], key, rev, fb, lb);
            };
            for (int a = 0; a < 6; ++a)
                for (int b = 0; b < 6; ++b) {
                    EXPECT_EQ(cmp(a, b), -cmp(b, a));
                    for (int c = 0; c < 6; ++c)
                        if (cmp(a, b) <= 0 && cmp(b, c) <= 0) {
                            EXPECT_LE(cmp(a, c), 0) << key.toLatin1() << flags << a << b << c;
                        }
                }
        }
}

TEST_F(Listing, NamesWithoutACollationCompareAsTheirFoldedCopies)
{
    // Without a real collation, names order by their case-folded text (an
    // ASCII name is folded on the fly, others are copied folded), then by
    // their own text: whatever mix of ASCII and other names.
    if (QCollator().locale().language() != QLocale::C)
        GTEST_SKIP() << "a real collation is in use";
    QStringList n = {"b", "A", "a", "Zeta", "alpha", "ALPHA2", "alpha2", "\u00c9clair", "\u00e9clair",
                           "\u03a9mega", "\u03c9mega", "stra\u00dfe", "STRASSE", "a\u00e9", "AE", "", "ab", "aB",
                           // Past the first units (a sort's heads), and around them.
                           "report 00001", "Report 00001", "report 000010", "report 00001x", "report 0000",
                           "report 00001\u00e9", "REPORT 00001\u00c9", "holiday photo 0001.jpg",
                           "Holiday Photo 0001.JPG", "holiday photo 0001.jpeg"};
    // A NUL inside a name orders like any other unit.
    const QStringList withNul = {QStringLiteral("a") + QChar(0), QStringLiteral("report") + QChar(0) + QStringLiteral("x"),
                                 QStringLiteral("report 0000") + QChar(0) + QStringLiteral("12")};
    n += withNul;
    // Names of every length up to past a head, of letters at the edges of
    // the ASCII upper case ("@", "[", "`", "{") and beyond ASCII.
    QRandomGenerator rng(20);
    const QString pool = QStringLiteral("@AZ[`az{ 0\u00c9\u00e9");
    for (int i = 0; i < 80; ++i) {
        QString name = i % 2 ? QStringLiteral("Shared Start Of The Name ").left(i % 26) : QString();
        for (int k = rng.bounded(8); k > 0; --k)
            name += pool[rng.bounded(int(pool.size()))];
        n << name;
    }
    const auto sign = [](int r) { return r < 0 ? -1 : (r > 0 ? 1 : 0); };
    for (const QString &x : n)
        for (const QString &y : n) {
            int want = x.toCaseFolded().compare(y.toCaseFolded());
            if (want == 0)
                want = compareText(x, y);
            const TfilePtr a = Tfile::createVirtualFolder(x), b = Tfile::createVirtualFolder(y);
            EXPECT_EQ(TfileListing::compareItems(*a, *b, u'n', false, false, false), sign(want))
                << x.toStdString() << " / " << y.toStdString();
        }
}

TEST_F(Listing, LargeListingSortsLikeItsComparison)
{
    // Beyond the small-range insertion sort: hundreds of items with repeated
    // sizes and times, mixed case, accents and digits, must come out in the
    // order the comparison defines, for every key, reversed or not.
    DiskTree many;
    const QStringList stems = {"Alpha", "alpha", "Äpfel", "zebra", "Zebra", "file10", "file9", "élan", "Ölung", "beta"};
    const QStringList exts = {".txt", ".TXT", ".mp3", "", ".tar.gz"};
    for (int i = 0; i < 300; ++i) {
        const QString name = stems[i % stems.size()] + QString::number(i / 7) + exts[(i / 3) % exts.size()];
        many.file(name, QByteArray(i % 13, 'x'));
    }
    for (int i = 0; i < 20; ++i)
        many.folder("dir " + stems[i % stems.size()] + QString::number(i));
    Tfile *root = vfs.add(Tfile::create(many.path()));
    ASSERT_TRUE(root);
    for (const QString sortKey : {"n", "e", "s", "t", "c", "!n", "!s"}) {
        TfileListing l;
        conn.vars = {};
        l.fromFolder(root, &conn);
        ASSERT_EQ(l.dir.size(), 320);
        l.dir.last()->comment = "b";
        l.dir.first()->comment = "a";
        QStringList before;
        for (const TfilePtr &f : std::as_const(l.dir))
            before << f->name;
        const bool rev = sortKey.startsWith('!');
        const QChar field = sortKey.back();
        l.sort(&conn, sortKey);
        QStringList got;
        for (qsizetype i = 0; i < l.dir.size(); ++i) {
            got << l.dir[i]->name;
            // Names equal but for case compare equal: either order is right.
            if (i > 0) {
                EXPECT_LE(TfileListing::compareItems(*l.dir[i - 1], *l.dir[i], field, rev, true, true), 0)
                    << sortKey.toStdString() << " at " << i << ": " << l.dir[i - 1]->name.toStdString() << " / "
                    << l.dir[i]->name.toStdString();
            }
        }
        QStringList a = got, b = before;
        a.sort();
        b.sort();
        EXPECT_EQ(a, b) << "the same items";
        // Folders first, and the names really ordered (not just kept).
        EXPECT_TRUE(l.dir.first()->isFolder());
        if (sortKey == "n") {
            ASSERT_GE(got.indexOf("alpha0.txt"), 0);
            EXPECT_LT(got.indexOf("alpha0.txt"), got.indexOf("beta1"));
        }
    }
}

TEST_F(Listing, ShortcutsOfTheSortAgreeWithTheWholeComparison)
{
    // Groups and name heads settle most comparisons of a sort: its order must
    // be the comparison's for names that share no start, a short one, exactly
    // a head's length, or more; links and folders mixed in; every setting.
    QStringList stems = {"a", "B", "ab", "track", "Track ", "holiday photo", "HOLIDAY PHOTO X", "holiday pho", "z"};
    const QString shared = QStringLiteral("Shared Start Of Many Names 0123456789");
    for (qsizetype k = 8; k <= shared.size(); k += 3)
        stems << shared.left(k) << shared.left(k).toLower() + u'~'; // names differ beyond case in a tree
    Tfile *links = vfs.add(Tfile::createVirtualFolder("mixed"));
    for (int i = 0; i < 150; ++i) {
        const QString name = stems[i % stems.size()] + QString::number(i % 11);
        Tfile *added = i % 5 == 1 ? vfs.add(Tfile::createVirtualFolder(name + " folder"), links)
                                  : vfs.add(Tfile::createLink(i % 5 == 0 ? name + " link" : name), links);
        ASSERT_TRUE(added) << name.toStdString();
        if (added->isLink())
            added->resource = "http://example.com/";
    }
    for (const QString key : {"n", "!n", "e", "s"}) {
        for (const bool foldersBefore : {false, true}) {
            for (const bool linksBefore : {false, true}) {
                conn.vars = {{"foldersbefore", foldersBefore ? "1" : "0"}, {"linksbefore", linksBefore ? "1" : "0"}};
                TfileListing l;
                l.fromFolder(links, &conn);
                ASSERT_EQ(l.dir.size(), 150);
                l.sort(&conn, key);
                const bool rev = key.startsWith('!');
                for (qsizetype i = 1; i < l.dir.size(); ++i)
                    ASSERT_LE(TfileListing::compareItems(*l.dir[i - 1], *l.dir[i], key.back(), rev, foldersBefore,
                                                         linksBefore),
                              0)
                        << key.toStdString() << foldersBefore << linksBefore << " at " << i << ": "
                        << l.dir[i - 1]->name.toStdString() << " / " << l.dir[i]->name.toStdString();
            }
        }
    }
}

TEST_F(Listing, ItemsInOrderAlreadyStayAndOthersAreSorted)
{
    // A folder's names mostly come in the order asked for: the sort then
    // leaves them. Lists in order, nearly in order and shuffled, of names
    // that never compare equal, must all come out in the comparison's order.
    const QString letters = QStringLiteral("aAbBcz9 ._~");
    QRandomGenerator rng(2026);
    int kept = 0;
    for (int round = 0; round < 400; ++round) {
        QList<TfilePtr> items;
        QSet<QString> folded; // names equal but for case would compare equal
        const int n = rng.bounded(40);
        while (items.size() < n) {
            QString name;
            for (int k = 1 + rng.bounded(6); k > 0; --k)
                name += letters[rng.bounded(int(letters.size()))];
            if (folded.contains(asciiLower(name)))
                continue;
            folded.insert(asciiLower(name));
            TfilePtr f = rng.bounded(4) == 0 ? Tfile::createVirtualFolder(name) : Tfile::createLink(name);
            f->size = rng.bounded(3);
            items << f;
        }
        const QString key = QStringList{"n", "!n", "s", "e"}[round % 4];
        const bool rev = key.startsWith(u'!');
        QList<TfilePtr> expected = items;
        std::stable_sort(expected.begin(), expected.end(), [&](const TfilePtr &a, const TfilePtr &b) {
            return TfileListing::compareItems(*a, *b, key.back(), rev, true, true) < 0;
        });
        TfileListing l;
        l.dir = expected; // in order
        if (round % 3 == 1 && n >= 2) { // nearly: two neighbours swapped
            const int at = rng.bounded(n - 1);
            l.dir.swapItemsAt(at, at + 1);
        } else if (round % 3 == 2) {
            std::shuffle(l.dir.begin(), l.dir.end(), rng);
        }
        kept += l.dir == expected;
        conn.vars = {};
        l.sort(&conn, key);
        ASSERT_EQ(names(l), [&] {
            TfileListing e;
            e.dir = expected;
            return names(e);
        }()) << round;
    }
    EXPECT_GT(kept, 100);
}

TEST_F(Listing, NonBrowsableOrHiddenTreeGivesNothing)
{
    real->flags.clear(FA_BROWSABLE);
    EXPECT_TRUE(list().isEmpty());
    real->flags.set(FA_BROWSABLE);
    virt->flags.set(FA_HIDDENTREE);
    EXPECT_TRUE(list({}, folderV).isEmpty());
}

// Queued work waits while a piece of work is young, and runs once the
// interval is over: a short page is built without being interrupted.
TEST(EventLoopTurns, QueuedWorkWaitsForTheInterval)
{
    int ran = 0;
    startEventLoopInterval();
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&ran] { ++ran; }, Qt::QueuedConnection);
    EXPECT_FALSE(letEventLoopRun());
    EXPECT_EQ(ran, 0);
    QThread::msleep(kEventLoopIntervalMs + 5);
    EXPECT_TRUE(letEventLoopRun()); // the caller looks at its connection now
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(letEventLoopRun()); // and the interval starts again
    // Starting new work restarts the interval, even long after the last turn.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&ran] { ++ran; }, Qt::QueuedConnection);
    QThread::msleep(kEventLoopIntervalMs + 5);
    startEventLoopInterval();
    letEventLoopRun();
    EXPECT_EQ(ran, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 2);
}

} // namespace
