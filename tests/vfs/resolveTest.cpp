// Resolution of URL paths against the tree and the disk below real folders.

#include "vfsTestTools.h"

#include "util/encodings.h"
#include "vfs/vfs.h"

#include <sys/stat.h>

namespace {

class Resolve : public ::testing::Test {
protected:
    void SetUp() override
    {
        disk.file("sub/dir/file.txt");
        disk.file("x");
        disk.file("Upper.TXT");
        disk.file(".hidden");
        disk.file(".secret/inner.txt");
        disk.file("...");
        disk.file("a b.txt");
        disk.folder("emptydir");
        ASSERT_EQ(::mkfifo(QFile::encodeName(disk.path("fifo")).constData(), 0600), 0);
        ASSERT_EQ(::symlink("fifo", QFile::encodeName(disk.path("tofifo")).constData()), 0);
        outside.file("passwd");

        docs = vfs.add(Tfile::createVirtualFolder("DOCS"));
        readme = vfs.add(Tfile::create(disk.path("x")), docs);
        readme->setName("readme.txt");
        b = vfs.add(Tfile::createVirtualFolder("b"));
        real = vfs.add(Tfile::create(disk.path()));
        real->setName("real");
        treeX = vfs.add(Tfile::createVirtualFolder("x"), real);
        ASSERT_TRUE(docs && readme && b && real && treeX);
        ASSERT_TRUE(real->isRealFolder());
    }

    // What a resolution gave, as text: "tree:<name>", "disk:<path below the
    // disk tree>" or "none".
    QString outcome(const QString &url, const Tfile *from = nullptr, bool allowTemp = true)
    {
        const TfilePtr f = vfs.findFilebyURL(url, from, allowTemp);
        if (!f)
            return "none";
        if (!f->isTemp())
            return "tree:" + f->name;
        EXPECT_EQ(f->parent(), real) << qPrintable(url);
        return "disk:" + f->resource.mid(disk.path().size() + 1);
    }

    DiskTree disk, outside;
    Tvfs vfs;
    Tfile *docs = nullptr, *readme = nullptr, *b = nullptr, *real = nullptr, *treeX = nullptr;
};

TEST_F(Resolve, PathsFromTheRoot)
{
    const struct {
        const char *url;
        const char *expected;
    } cases[] = {
        {"/", "tree:/"},
        {"", "none"},
        {"/Docs/", "tree:DOCS"},
        {"/docs", "tree:DOCS"},
        {"/DOCS/README.TXT", "tree:readme.txt"},
        {"/docs//readme.txt", "tree:readme.txt"},       // "//" becomes "/"
        {"/docs///readme.txt", "none"},                  // "///" leaves an empty segment
        {"//docs", "tree:DOCS"},
        {"/docs/./readme.txt", "tree:readme.txt"},
        {"/docs/../b", "tree:b"},
        {"/b/../docs/readme.txt", "tree:readme.txt"},
        {"/../b", "none"},                               // above the root
        {"/docs/missing", "none"},
        {"/docs/readme.txt/more", "none"},               // a file has no children
        {"/real", "tree:real"},
        {"/real/x", "tree:x"},                           // tree child before the disk entry
        {"/real/sub/dir/file.txt", "disk:sub/dir/file.txt"},
        {"/REAL/sub/dir/", "disk:sub/dir"},
        {"/real/sub/../x", "tree:x"},                    // normalised before the disk is asked
        {"/real/sub/../sub/dir/file.txt", "disk:sub/dir/file.txt"},
        {"/real/a b.txt", "disk:a b.txt"},
        {"/real/upper.txt", "none"},                     // the disk decides its own case
        {"/real/Upper.TXT", "disk:Upper.TXT"},
        {"/real/emptydir", "disk:emptydir"},
        {"/real/nothere", "none"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(outcome(QString::fromUtf8(c.url)), QString::fromUtf8(c.expected)) << c.url;
}

TEST_F(Resolve, OnlyAsciiLettersFold)
{
    ASSERT_TRUE(vfs.add(Tfile::createVirtualFolder(QString::fromUtf8("\xc3\x89t\xc3\xa9"))));
    EXPECT_EQ(outcome(QString::fromUtf8("/\xc3\x89T\xc3\xa9")), QString::fromUtf8("tree:\xc3\x89t\xc3\xa9"));
    EXPECT_EQ(outcome(QString::fromUtf8("/\xc3\xa9t\xc3\xa9")), "none");
}

TEST_F(Resolve, RelativePathsAndStartingPoints)
{
    EXPECT_EQ(outcome("readme.txt", docs), "tree:readme.txt");
    EXPECT_EQ(outcome("./readme.txt", docs), "tree:readme.txt");
    EXPECT_EQ(outcome("../b", docs), "tree:b");
    EXPECT_EQ(outcome("../../b", docs), "none");
    EXPECT_EQ(outcome("/b", docs), "tree:b"); // a leading "/" starts from the root
    EXPECT_EQ(outcome("sub/dir/file.txt", real), "disk:sub/dir/file.txt");

    // From a temporary node, ".." climbs the disk path first.
    const TfilePtr dir = vfs.findFilebyURL("/real/sub/dir");
    ASSERT_TRUE(dir && dir->isTemp());
    EXPECT_EQ(outcome("file.txt", dir.data()), "disk:sub/dir/file.txt");
    EXPECT_EQ(outcome("../dir/file.txt", dir.data()), "disk:sub/dir/file.txt");
    EXPECT_EQ(outcome("../../x", dir.data()), "tree:x");
    EXPECT_EQ(outcome("../../../b", dir.data()), "tree:b");
    EXPECT_EQ(outcome("/b", dir.data()), "tree:b");
}

TEST_F(Resolve, WithoutTemporaryNodes)
{
    EXPECT_EQ(outcome("/real/sub/dir/file.txt", nullptr, false), "none");
    EXPECT_EQ(outcome("/real", nullptr, false), "tree:real");
    EXPECT_EQ(outcome("/real/x", nullptr, false), "tree:x");
}

TEST_F(Resolve, TraversalAttemptsStayInside)
{
    // Every variant must resolve to nothing, never to a file outside.
    const QString outsideRel = QStringLiteral("../") + QDir(disk.path()).relativeFilePath(outside.path("passwd"));
    const QStringList attempts = {
        "/real/...",                 // three dots: refused below a real folder
        "/real/sub/.../x",
        "/real/sub/..../file.txt",
        "/real/" + outsideRel,       // climbs above the real folder: normalised to the tree
        "/real/sub/dir/file.txt\u0000",
        QString("/real/sub") + QChar(0) + "/dir",
        "/real//" + outside.path("passwd"),
        "/real/" + outside.path("passwd").mid(1) + "/../../..",
    };
    for (const QString &a : attempts) {
        const TfilePtr f = vfs.findFilebyURL(a);
        EXPECT_TRUE(!f || !f->resource.startsWith(outside.path())) << qPrintable(a);
        if (f && f->isTemp()) {
            EXPECT_TRUE(f->resource.startsWith(disk.path())) << qPrintable(a);
        }
    }
    // Encoded and doubled forms, decoded once as requests are.
    const char *encoded[] = {
        "/real/%2e%2e/%2e%2e/etc/passwd", "/real/%2E%2E%2F%2E%2E%2Fetc", "/real/%252e%252e/x",
        "/real/....//....//etc",          "/real/..././x",               "/real/sub/..%2f..%2f..%2fetc",
        "/real/.%2e/x",                   "/real/%00/x",                 "/real/sub%2f..%2f..%2f..",
    };
    for (const char *e : encoded) {
        const TfilePtr f = vfs.findFilebyURL(decodeURL(QByteArrayView(e)));
        EXPECT_TRUE(!f || !f->isTemp() || f->resource.startsWith(disk.path() + '/')) << e;
        EXPECT_TRUE(!f || !f->resource.startsWith(outside.path())) << e;
    }
    EXPECT_EQ(outcome(decodeURL(QByteArrayView("/real/%2e%2e/b"))), "tree:b"); // ".." of the tree, not the disk
    EXPECT_EQ(outcome(decodeURL(QByteArrayView("/real/%2e%2e%2e"))), "none");
    EXPECT_EQ(outcome(decodeURL(QByteArrayView("/real/%2e%2e/%2e%2e/x"))), "none");
    EXPECT_EQ(outcome("/real/..."), "none");
    EXPECT_EQ(outcome("/real/sub/.../x"), "none");
    EXPECT_EQ(outcome(QString("/real/x") + QChar(0)), "none");

    // Direct disk resolution is just as strict.
    for (const QString &rel : {QStringLiteral("../x"), QStringLiteral("sub/../../x"), QStringLiteral("/etc"),
                               QStringLiteral(".."), QStringLiteral("sub//dir"), QStringLiteral("sub/..")})
        EXPECT_FALSE(vfs.resolveOnDisk(real, rel)) << qPrintable(rel);
    EXPECT_TRUE(vfs.resolveOnDisk(real, "sub/dir"));
}

TEST_F(Resolve, HiddenAndSystemEntries)
{
    EXPECT_EQ(outcome("/real/.hidden"), "none");
    EXPECT_EQ(outcome("/real/.secret/inner.txt"), "none"); // inside a hidden folder too
    EXPECT_EQ(outcome("/real/fifo"), "none");
    EXPECT_EQ(outcome("/real/tofifo"), "none"); // a link to a FIFO is no better

    TvfsSettings s = vfs.settings();
    s.listHiddenFiles = true;
    s.listSystemFiles = true;
    vfs.setSettings(s);
    EXPECT_EQ(outcome("/real/.hidden"), "disk:.hidden");
    EXPECT_EQ(outcome("/real/.secret/inner.txt"), "disk:.secret/inner.txt");
    // Never a FIFO, socket or device, whatever the options say.
    EXPECT_EQ(outcome("/real/fifo"), "none");
    EXPECT_EQ(outcome("/real/tofifo"), "none");
}

TEST_F(Resolve, TemporaryNodesInheritFromTheirFolder)
{
    real->flags.set(FA_DONT_LOG);
    real->flags.clear(FA_BROWSABLE);
    const TfilePtr dir = vfs.findFilebyURL("/real/sub/dir");
    ASSERT_TRUE(dir);
    EXPECT_TRUE(dir->isTemp());
    EXPECT_TRUE(dir->isRealFolder());
    EXPECT_TRUE(dir->flags.has(FA_DONT_LOG));
    EXPECT_FALSE(dir->flags.has(FA_BROWSABLE));
    EXPECT_EQ(dir->parent(), real);
    EXPECT_EQ(dir->name, "dir");

    const TfilePtr file = vfs.findFilebyURL("/real/sub/dir/file.txt");
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->isFile());
    EXPECT_EQ(file->size, 1);
}

TEST_F(Resolve, EqualNamesFindTheFirstInTreeOrder)
{
    TfilePtr second = Tfile::createVirtualFolder("twin");
    second->comment = "first";
    ASSERT_TRUE(vfs.add(second));
    TfilePtr third = Tfile::createVirtualFolder("TWIN");
    third->comment = "second";
    EXPECT_FALSE(vfs.add(third)); // refused when checked
    ASSERT_TRUE(vfs.add(third, nullptr, false));
    const TfilePtr f = vfs.findFilebyURL("/Twin");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->comment, "first");
}

TEST_F(Resolve, RootBoundToADiskFolder)
{
    Tvfs v;
    v.root()->setResource(disk.path());
    v.root()->flags.clear(FA_VIRTUAL);
    EXPECT_EQ(v.root()->name, "/");
    const TfilePtr f = v.findFilebyURL("/sub/dir/file.txt");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->resource, disk.path("sub/dir/file.txt"));
    EXPECT_EQ(f->url(), "/sub/dir/file.txt");
    EXPECT_FALSE(v.findFilebyURL("/../x"));
}

} // namespace

TEST_F(Resolve, LongAndOddlySlashedPaths)
{
    // More segments than are kept inline, and slashes at both ends.
    EXPECT_EQ(outcome("/real/sub/dir/" + QString("./").repeated(40) + "file.txt"), "disk:sub/dir/file.txt");
    EXPECT_EQ(outcome("/docs/" + QString("../docs/").repeated(30) + "readme.txt"), "tree:readme.txt");
    EXPECT_EQ(outcome("/real/" + QString("sub/../").repeated(25) + "sub/dir/file.txt"), "disk:sub/dir/file.txt");
    EXPECT_EQ(outcome("/" + QString("x/").repeated(30)), "none");
    EXPECT_EQ(outcome("///"), "tree:/"); // "//" collapses once: one slash is left
    EXPECT_EQ(outcome("//"), "tree:/");
    EXPECT_EQ(outcome("docs//", nullptr), "tree:DOCS");
    EXPECT_EQ(outcome("/real/sub//dir/file.txt"), "disk:sub/dir/file.txt");
    EXPECT_EQ(outcome("/real/sub/dir//"), "disk:sub/dir");
}
