// The items of a folder page carry their file's fingerprint ("#!md5!..."):
// what getFingerprint gives for the file, also when the page leaves out the
// look for a file's own ".md5" because its folder holds no ".md5" file.

#include "fakePageContext.h"
#include "vfs/vfsTestTools.h"

#include "pages/folderPage.h"
#include "pages/symbols.h"
#include "tpl/tpl.h"
#include "vfs/comments.h"
#include "vfs/fingerprint.h"
#include "vfs/vfs.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QRandomGenerator>

namespace {

class FolderPageHashes : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerPageSymbols();
        Tvfs::instance().resetVFS();
        savedFingerprints = commentOptions().enableFingerprints;
        commentOptions().enableFingerprints = true;
    }
    void TearDown() override
    {
        Tvfs::instance().resetVFS();
        commentOptions().enableFingerprints = savedFingerprints;
    }

    // The page's item URLs in name order; `fromElsewhere`: files added to
    // the folder in the tree.
    static QStringList itemUrls(const QString &diskFolder, const QStringList &fromElsewhere = {})
    {
        Tfile *folder = Tvfs::instance().add(Tfile::create(diskFolder));
        EXPECT_TRUE(folder);
        for (const QString &path : fromElsewhere)
            EXPECT_TRUE(Tvfs::instance().add(Tfile::create(path), folder));
        TfakePageContext ctx;
        const auto tpl = std::make_shared<Ttpl>(QStringLiteral("[]\n%list%\n[file]\n%item-url%;\n"));
        QStringList urls = buildFolderPage(folder, &ctx, tpl).trimmed().split(u';', Qt::SkipEmptyParts);
        Tvfs::instance().resetVFS();
        return urls;
    }

    bool savedFingerprints = true;
};

QString digestOf(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

TEST_F(FolderPageHashes, ItemsCarryWhatGetFingerprintGives)
{
    QRandomGenerator rng(30);
    int withHash = 0, without = 0, foldersWithoutSums = 0;
    for (int round = 0; round < 60; ++round) {
        DiskTree disk;
        QStringList names;
        QString sums; // a folder-wide list, written when it names a file
        const int files = 1 + rng.bounded(8);
        for (int k = 0; k < files; ++k) {
            const QString name = QStringLiteral("f%1.txt").arg(k);
            names << name;
            disk.file(name, QByteArray::number(k));
            // Most folders hold no ".md5" file at all: the page's shortcut.
            if (round % 3 == 0)
                continue;
            switch (rng.bounded(4)) {
            case 0: // its own, up to date, naming another file: only the own look finds it
                disk.file(name + ".md5", (digestOf(name) + " *other-" + name).toUtf8());
                break;
            case 1: { // its own, older than the file: not taken
                disk.file(name + ".md5", digestOf("old").toUtf8());
                QFile f(disk.path(name));
                ASSERT_TRUE(f.open(QIODevice::ReadWrite));
                ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(3600),
                                          QFileDevice::FileModificationTime));
                break;
            }
            case 2: // in the folder's list
                sums += digestOf("list " + name) + " *" + name + "\n";
                break;
            default:
                break;
            }
        }
        if (!sums.isEmpty())
            disk.file("sums.md5", sums.toUtf8());
        QStringList expected;
        for (const QString &name : std::as_const(names)) {
            const QString hash = getFingerprint(disk.path(name));
            expected << (hash.isEmpty() ? name : name + "#!md5!" + hash);
            ++(hash.isEmpty() ? without : withHash);
        }
        if (round % 3 == 0)
            ++foldersWithoutSums;
        ASSERT_EQ(itemUrls(disk.path()), expected) << round;
    }
    // Both kinds of item and of folder were met.
    EXPECT_GT(withHash, 20);
    EXPECT_GT(without, 20);
    EXPECT_EQ(foldersWithoutSums, 20);
}

TEST_F(FolderPageHashes, FilesFromElsewhereKeepTheirOwnLook)
{
    // The folder listed holds no ".md5" file; a file the tree adds to it
    // from another folder has its own there.
    DiskTree listed, other;
    listed.file("a.txt", "a");
    other.file("b.txt", "b");
    other.file("b.txt.md5", (digestOf("b") + " *c.txt").toUtf8());
    ASSERT_EQ(getFingerprint(other.path("b.txt")), digestOf("b"));
    EXPECT_EQ(itemUrls(listed.path(), {other.path("b.txt")}),
              QStringList({"a.txt", "b.txt#!md5!" + digestOf("b")}));
}

} // namespace
