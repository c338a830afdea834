// The archives as the common archivers see them: they list and extract
// every file to the same bytes and complain of nothing. A test whose
// program is not installed is skipped.

#include "archiveTestTools.h"

#include "vfs/crcCache.h"
#include "vfs/tarStream.h"
#include "vfs/zipStream.h"

#include <QDirIterator>
#include <QSet>

using namespace archiveTest;

namespace {

// Names that take every path through the header code: long ones (a long
// name of 600 bytes in folders short enough for the disk), exactly 99 and
// 100 bytes, non-ASCII, an empty file, sizes around the block size.
class ToolSamples {
public:
    ToolSamples()
    {
        QString deep;
        for (int i = 0; i < 6; ++i)
            deep += QString(99, QChar(u'a' + i)) + u'/';
        add(QStringLiteral("top.txt"), pattern(1000, 1));
        add(QString::fromUtf8("dossier/\xC3\xA9t\xC3\xA9 \xE2\x80\x93 \xC3\xBCn\xC3\xAF.txt"), pattern(513, 2));
        add(QStringLiteral("empty"), QByteArray());
        add(QStringLiteral("sub/one.bin"), "1");
        add(QStringLiteral("sub/block.bin"), pattern(512, 3));
        add(QStringLiteral("sub/big.bin"), pattern(300000, 4));
        add(deep + QStringLiteral("file.bin"), pattern(2000, 5));
        add(QString(95, u'n') + QStringLiteral(".txt"), pattern(10, 6));
        add(QString(96, u'm') + QStringLiteral(".txt"), pattern(20, 7));
    }
    void addTo(TarchiveStream &s) const
    {
        for (int i = 0; i < names.size(); ++i)
            ASSERT_TRUE(s.addFile(d.path(QStringLiteral("src/%1").arg(i)), names[i]));
    }
    QString path(const QString &rel) const { return d.path(rel); }
    QSet<QString> nameSet() const { return QSet<QString>(names.cbegin(), names.cend()); }

    // `dir` holds exactly the samples, with their bytes.
    void expectExtracted(const QString &dir) const
    {
        QSet<QString> found;
        QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            found += it.next().mid(dir.size() + 1);
        EXPECT_EQ(found, nameSet());
        for (int i = 0; i < names.size(); ++i) {
            QFile f(dir + u'/' + names[i]);
            EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << qPrintable(names[i]);
            EXPECT_TRUE(f.readAll() == contents[i]) << qPrintable(names[i]);
        }
    }

private:
    void add(const QString &name, const QByteArray &content)
    {
        d.file(QStringLiteral("src/%1").arg(names.size()), content);
        names += name;
        contents += content;
    }
    DiskTree d;
    QStringList names;
    QList<QByteArray> contents;
};

QSet<QString> lines(const QByteArray &out)
{
    QSet<QString> s;
    for (const QString &l : QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts))
        s += l;
    return s;
}

// Runs the program on `args`, where "@a" stands for the archive and "@x"
// for the folder to extract to; it must succeed without a word on stderr.
ToolRun quietRun(const QString &program, QStringList args, const QString &archive, const QString &out)
{
    args.replaceInStrings(QStringLiteral("@a"), archive).replaceInStrings(QStringLiteral("@x"), out);
    const ToolRun r = runTool(program, args);
    EXPECT_EQ(r.exitCode, 0) << qPrintable(args.join(u' ')) << "\n" << r.out.right(2000).constData();
    EXPECT_EQ(r.err, QByteArray()) << qPrintable(args.join(u' '));
    return r;
}

// Writes the samples as an archive of type T, lets the program run each of
// `checks` on it, then `extract`, and compares what was extracted.
template <typename T>
void extractWith(const QString &program, const QList<QStringList> &checks, const QStringList &extract,
                 const std::function<void(const ToolSamples &, const QStringList &, const ToolRun &)> &checked = {})
{
    if (!haveProgram(program))
        GTEST_SKIP() << qPrintable(program) << " is not installed";
    ToolSamples samples;
    T s;
    samples.addTo(s);
    const QString archive = samples.path(QStringLiteral("archive"));
    saveTail(s, archive);
    const QString out = samples.path(QStringLiteral("x"));
    ASSERT_TRUE(QDir().mkpath(out));
    for (const QStringList &args : checks) {
        const ToolRun r = quietRun(program, args, archive, out);
        if (checked)
            checked(samples, args, r);
    }
    quietRun(program, extract, archive, out);
    samples.expectExtracted(out);
}

void tarThrough(const QString &tool)
{
    extractWith<TtarStream>(tool, {{QStringLiteral("-tf"), QStringLiteral("@a")}, {QStringLiteral("-tvf"), QStringLiteral("@a")}},
                            {QStringLiteral("-xf"), QStringLiteral("@a"), QStringLiteral("-C"), QStringLiteral("@x")},
                            [](const ToolSamples &samples, const QStringList &args, const ToolRun &listed) {
                                // The names, or one line of details per file.
                                if (args[0] == u"-tf")
                                    EXPECT_EQ(lines(listed.out), samples.nameSet());
                                else
                                    EXPECT_EQ(lines(listed.out).size(), samples.nameSet().size());
                            });
}

} // namespace

TEST(TarTools, GnuTarListsAndExtracts)
{
    tarThrough(QStringLiteral("tar"));
}

TEST(TarTools, BsdtarListsAndExtracts)
{
    tarThrough(QStringLiteral("bsdtar"));
}

TEST(ZipTools, UnzipTestsAndExtracts)
{
    extractWith<TzipStream>(QStringLiteral("unzip"), {{QStringLiteral("-t"), QStringLiteral("@a")}},
                            {QStringLiteral("-q"), QStringLiteral("@a"), QStringLiteral("-d"), QStringLiteral("@x")});
}

TEST(ZipTools, PythonTestsAndExtracts)
{
    const QStringList zipfile = {QStringLiteral("-m"), QStringLiteral("zipfile")};
    extractWith<TzipStream>(QStringLiteral("python3"), {zipfile + QStringList{QStringLiteral("-t"), QStringLiteral("@a")}},
                            zipfile + QStringList{QStringLiteral("-e"), QStringLiteral("@a"), QStringLiteral("@x")});
}

TEST(ZipTools, BsdtarExtractsTheZip)
{
    extractWith<TzipStream>(QStringLiteral("bsdtar"), {},
                            {QStringLiteral("-xf"), QStringLiteral("@a"), QStringLiteral("-C"), QStringLiteral("@x")});
}

TEST(ZipTools, HugeEntryListsItsTrueSize)
{
    const bool unzip = haveProgram(QStringLiteral("unzip")), python = haveProgram(QStringLiteral("python3"));
    if (!unzip && !python)
        GTEST_SKIP() << "neither unzip nor python3 is installed";
    DiskTree d;
    sparseFile(d.path(QStringLiteral("huge")), qint64(5) << 30);
    d.file(QStringLiteral("small"), "small");
    TzipStream s;
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("huge"))));
    ASSERT_TRUE(s.addFile(d.path(QStringLiteral("small"))));
    // Only the last entry, the directory and the end go to disk; the huge
    // entry's bytes stay a hole that a listing never reads.
    const QString archive = d.path(QStringLiteral("out.zip"));
    s.totalSize(); // lays the entries out
    saveTail(s, archive, s.files()[1].firstByte);
    if (unzip) {
        const ToolRun l = runTool(QStringLiteral("unzip"), {QStringLiteral("-l"), archive});
        EXPECT_EQ(l.exitCode, 0) << l.out.constData();
        EXPECT_TRUE(l.out.contains("\n5368709120 ")) << l.out.constData();
        EXPECT_EQ(l.err, QByteArray());
    }
    if (python) {
        const ToolRun l = runTool(QStringLiteral("python3"), {QStringLiteral("-m"), QStringLiteral("zipfile"), QStringLiteral("-l"), archive});
        EXPECT_EQ(l.exitCode, 0);
        EXPECT_TRUE(l.out.contains(" 5368709120\n")) << l.out.constData();
        EXPECT_TRUE(l.out.contains("small ")) << l.out.constData();
    }
}

TEST(ZipTools, SoManyEntriesAreAllListed)
{
    if (!haveProgram(QStringLiteral("python3")))
        GTEST_SKIP() << "python3 is not installed";
    DiskTree d;
    d.file(QStringLiteral("x"), "x");
    TzipStream s;
    for (int i = 0; i < 70000; ++i)
        ASSERT_TRUE(s.addFile(d.path(QStringLiteral("x")), QStringLiteral("f/%1").arg(i)));
    const QString archive = d.path(QStringLiteral("out.zip"));
    saveTail(s, archive);
    const ToolRun py = runTool(QStringLiteral("python3"),
                       {QStringLiteral("-c"),
                        QStringLiteral("import sys, zipfile\n"
                                       "z = zipfile.ZipFile(sys.argv[1])\n"
                                       "assert z.testzip() is None\n"
                                       "print(len(z.infolist()), z.infolist()[-1].filename)"),
                        archive});
    EXPECT_EQ(py.exitCode, 0) << py.err.constData();
    EXPECT_EQ(py.out, "70000 f/69999\n");
    if (haveProgram(QStringLiteral("unzip"))) {
        const ToolRun t = runTool(QStringLiteral("unzip"), {QStringLiteral("-tq"), archive});
        EXPECT_EQ(t.exitCode, 0) << t.out.right(500).constData();
    }
}
