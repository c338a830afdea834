// Feeds an arbitrary request target to URL decoding and to the tree's
// resolution, the way a request is dispatched: the query split into
// variables, the path percent-decoded and looked up, then below real folders
// on disk. The input's first line names a folder added to the tree for the
// run (when the name is one a file may have). Besides crashes and sanitizer
// reports it checks that
// - encoding a text for a URL and decoding it gives the text back (also for
//   Base64),
// - what resolves on disk lies inside the real folder and is a plain file
//   or folder,
// - a node's own URL resolves to that node.

#include "fuzzTools.h"

#include "serve/dispatcher.h"
#include "serve/upload.h"
#include "util/encodings.h"
#include "util/service.h"
#include "vfs/account.h"
#include "vfs/vfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

void checkEncodings(const QString &text, QByteArrayView bytes)
{
    for (const bool nonAscii : {false, true})
        for (const bool spaces : {false, true})
            fuzzCheck(decodeURL(encodeURL(text, nonAscii, spaces)) == text, "URL encoding decodes back", text);
    bool ok = false;
    fuzzCheck(base64Decode(QByteArrayView(base64Encode(bytes)), &ok) == bytes && ok, "Base64 decodes back");
}

struct Ttree
{
    Towned<Taccounts> accounts;
    Towned<Tvfs> vfs;
    QString disk;
    Tfile *real = nullptr;

    Ttree()
    {
        disk = scratchFolder() + QStringLiteral("/disk");
        for (const char *folder : {"sub/deeper", "emptydir", ".hiddendir"})
            QDir().mkpath(disk + u'/' + QLatin1String(folder));
        for (const char *file : {"a.txt", "sub/b.txt", "sub/deeper/c", ".hidden", "sp ace.txt", "50% #1.txt",
                                 "\xc3\xbcn\xc3\xaf.txt", ".hiddendir/d", "...x", "index.html"}) {
            QFile f(disk + u'/' + QString::fromUtf8(file));
            fuzzCheck(f.open(QIODevice::WriteOnly), "disk file", f.fileName());
            f.write("x");
        }
        ::mkfifo(QFile::encodeName(disk + QStringLiteral("/fifo")).constData(), 0600);
        ::symlink("fifo", QFile::encodeName(disk + QStringLiteral("/tofifo")).constData());

        Tvfs &t = *vfs;
        Tfile *docs = t.add(Tfile::createVirtualFolder(QStringLiteral("docs")));
        Tfile *readme = t.add(Tfile::create(disk + QStringLiteral("/a.txt")), docs);
        readme->setName(QStringLiteral("read me.txt"));
        real = t.add(Tfile::create(disk));
        real->setName(QStringLiteral("real"));
        t.add(Tfile::createVirtualFolder(QStringLiteral("virt")), real);
        Tfile *link = t.add(Tfile::createLink(QStringLiteral("elsewhere")));
        link->setResource(QStringLiteral("http://example.org/"));
        fuzzCheck(docs && readme && real && real->isRealFolder(), "tree");
    }
};

void checkResolved(Ttree &tree, const TfilePtr &node)
{
    if (!node)
        return;
    if (node->isTemp()) {
        const QString res = node->resource;
        fuzzCheck(res.startsWith(tree.disk + u'/'), "a disk item lies inside its real folder", res);
        for (const QString &seg : res.mid(tree.disk.size() + 1).split(u'/'))
            fuzzCheck(!seg.isEmpty() && seg != u"." && seg != u"..", "a disk path does not climb", res);
        const QFileInfo fi(res);
        fuzzCheck(fi.isFile() || fi.isDir(), "only plain files and folders resolve", res);
        struct stat st;
        fuzzCheck(::stat(QFile::encodeName(res).constData(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)),
                  "only plain files and folders resolve", res);
        return;
    }
    if (node->isLink())
        return; // its URL is its target
    const QString url = node->url();
    fuzzCheck(tree.vfs->findFilebyURL(decodeURL(url)) == node, "a node's URL leads to it", url);
}

// As the dispatcher reads a request target.
TfilePtr resolve(Ttree &tree, const QByteArray &target)
{
    const qsizetype q = target.indexOf('?');
    TnameValueList vars;
    if (q >= 0)
        parseQuery(QByteArrayView(target).sliced(q + 1), vars);
    QString path = decodeURL(QByteArrayView(target).first(q < 0 ? target.size() : q));
    checkEncodings(path, target);
    if (!path.startsWith(u'/'))
        return {};
    TfilePtr node = tree.vfs->findFilebyURL(path);
    if (!node) {
        const qsizetype slash = path.lastIndexOf(u'/');
        const QString special = path.mid(slash + 1);
        if (special.startsWith(u'~') || special == u"favicon.ico")
            node = tree.vfs->findFilebyURL(path.left(slash + 1));
    }
    return node;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Ttree tree;
    const QByteArray input = fuzzBytes(data, size);
    const qsizetype lf = input.indexOf('\n');
    const QString name = lf < 0 ? QString() : QString::fromUtf8(input.first(lf));
    const QByteArray target = lf < 0 ? input : input.sliced(lf + 1);

    TvfsSettings settings = tree.vfs->settings();
    settings.encodeNonAscii = size & 1;
    settings.encodeSpaces = size & 2;
    tree.vfs->setSettings(settings);

    // A name an upload may take; a single dot, which the tree's own rule
    // also refuses, would read as a step in the path.
    Tfile *named = nullptr;
    if (validFilename(name) && name != u".") {
        checkEncodings(name, input);
        named = tree.vfs->add(Tfile::createVirtualFolder(name));
        if (named) {
            checkResolved(tree, TfilePtr(named));
            fuzzCheck(tree.vfs->findFilebyURL(decodeURL(named->url(true))) == named, "a fully encoded URL leads to its node",
                      named->url(true));
        }
    }
    checkResolved(tree, resolve(tree, target));
    if (named)
        tree.vfs->remove(named);
    return 0;
}
