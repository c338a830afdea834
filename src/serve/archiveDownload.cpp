#include "serve/archiveDownload.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "log/log.h"
#include "serve/admission.h"
#include "serve/connData.h"
#include "serve/fileDownload.h"
#include "serve/fileName.h"
#include "serve/logPeer.h"
#include "serve/pageAdapter.h"
#include "serve/pageReply.h"
#include "serve/serve.h"
#include "serve/treeAccess.h"
#include "util/asciiCase.h"
#include "util/encodings.h"
#include "vfs/fileListing.h"
#include "vfs/tarStream.h"
#include "vfs/zipStream.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <limits>
#include <memory>

namespace {

// Every file a listing of `folder` shows the visitor, in archive mode (no
// protected or download-forbidden items), recursive as the request asks.
QList<TfilePtr> listedFiles(Tfile &folder, TpageAdapter &view, bool recursive, bool ignoreUrlFilter)
{
    TfileListing listing;
    listing.archiveMode = true;
    listing.ignoreConnFilter = ignoreUrlFilter;
    listing.fromFolder(&folder, &view, recursive, std::numeric_limits<qint64>::max(), 0);
    QList<TfilePtr> files;
    for (const TfilePtr &f : std::as_const(listing.dir))
        if (!f->isFolder() && !f->isLink() && f->accessFor(&view))
            files.append(f);
    return files;
}

// What the selection may reach: items the visitor's listing of their own
// folder shows (hidden and protected ones follow the options), kept per
// folder so that a selection of many items lists each folder once.
class TvisibleItems
{
public:
    explicit TvisibleItems(TpageAdapter &view) : view(view) {}

    bool shows(const Tfile &item)
    {
        Tfile *parent = item.parent();
        if (!parent)
            return false;
        const QString key = parent->isTemp() ? parent->resource : QString::number(quintptr(parent));
        auto it = names.constFind(key);
        if (it == names.constEnd()) {
            QSet<QString> seen;
            if (folderOpensFor(*parent, &view)) {
                TfileListing listing;
                listing.archiveMode = true;
                listing.ignoreConnFilter = true;
                listing.fromFolder(parent, &view, false, std::numeric_limits<qint64>::max(), 0);
                for (const TfilePtr &f : std::as_const(listing.dir))
                    seen.insert(f->name);
            }
            it = names.insert(key, seen);
        }
        return it->contains(item.name);
    }

private:
    TpageAdapter &view;
    QHash<QString, QSet<QString>> names;
};

QString lastComponent(const QString &name)
{
    const qsizetype cut = qMax(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    return name.mid(cut + 1);
}

struct TarchiveBuild
{
    TconnData &cd;
    TpageAdapter view;
    TarchiveStream &stream;
    bool bareNames;
    QStringList paths; // disk paths, for the counters once it is all sent

    void add(const QString &src, const QString &name)
    {
        const QString dst = bareNames ? lastComponent(name) : name;
        if (stream.addFile(src, dst))
            paths.append(src);
        // Each file is opened once to be recorded: a folder of many files
        // lets the others be served meanwhile.
        if (++added % 256 == 0)
            letEventLoopRun();
    }
    int added = 0;

    // A folder's listed files under `prefix`.
    void addFolder(Tfile &folder, const QString &prefix, bool recursive, bool ignoreUrlFilter)
    {
        for (const TfilePtr &f : listedFiles(folder, view, recursive, ignoreUrlFilter)) {
            const QString rel = pathBelowFolder(folder, *f);
            if (!rel.isEmpty())
                add(f->resource, prefix + rel);
        }
    }

    // The items the POST variables "selection" name, relative to `folder`;
    // false when there is no such variable.
    bool addSelection(Tfile &folder, bool recursive)
    {
        bool any = false;
        TvisibleItems visible(view);
        for (const auto &v : cd.request.postVars.entries()) {
            if (!sameText(v.name, u"selection"))
                continue;
            any = true;
            QString value = v.value.left(v.value.indexOf(u'#') < 0 ? v.value.size() : v.value.indexOf(u'#'));
            value = decodeURL(value);
            if (selectionClimbs(value) || view.closed())
                continue;
            const TfilePtr item = findInTree(value, &folder);
            if (!item || item.data() == &folder || !item->accessFor(&view) || !visible.shows(*item))
                continue;
            const QString name = QString(value).replace(u'\\', u'/');
            if (item->isFolder()) {
                if (folderOpensFor(*item, &view))
                    addFolder(*item, name.endsWith(u'/') ? name : name + u'/', recursive, true);
            } else if (!item->isLink() && !item->isDLforbidden() && !item->resource.isEmpty()) {
                add(item->resource, name);
            }
        }
        return any;
    }
};

} // namespace

bool selectionClimbs(const QString &value)
{
    static const QRegularExpression dots(QStringLiteral(R"((^|[\\/])\.\.+($|[\\/]))"));
    return dots.match(value).hasMatch();
}

bool asksForBareNames(const QString &value)
{
    return !value.isEmpty() && value != u"0" && !sameText(value, u"false");
}

QString defaultArchiveName(const Tfile &folder, const QString &kind, TarchiveFormat format)
{
    const QString base = folder.isRoot() ? QStringLiteral("home") : folder.name;
    return base + u'.' + kind + (format == AF_ZIP ? QStringLiteral(".zip") : QStringLiteral(".tar"));
}

namespace {

// `path` below the disk folder `base`, or empty.
QString diskPathBelow(const QString &base, const QString &path)
{
    if (base.isEmpty())
        return {};
    const QString prefix = base.endsWith(u'/') ? base : base + u'/';
    return path.startsWith(prefix) ? path.mid(prefix.size()) : QString();
}

} // namespace

QString pathBelowFolder(const Tfile &folder, const Tfile &item)
{
    // A folder on disk: the item's path from the folder's own.
    if (folder.isRealFolder() || folder.isTemp())
        if (const QString rel = diskPathBelow(folder.resource, item.resource); !rel.isEmpty())
            return rel;
    // A temporary item stands below the real folder of the tree that holds
    // it: its path on disk from there, then the tree's names up to `folder`.
    QString path;
    const Tfile *n = &item;
    if (item.isTemp()) {
        n = item.parent();
        path = n ? diskPathBelow(n->resource, item.resource) : QString();
        if (path.isEmpty())
            return {};
    }
    for (; n != &folder; n = n->parent()) {
        if (!n || !n->parent())
            return {};
        path = path.isEmpty() ? n->name : n->name + u'/' + path;
    }
    return path;
}

void replyArchive(TconnData &cd, Tfile &folder, TarchiveFormat format)
{
    Tserve &s = serve();
    ThttpConn &conn = *cd.conn;
    cd.transfer.downloadingWhat = DW_ARCHIVE;
    cd.transfer.countAsDownload = true;
    if (!s.admission().allowDownload(cd))
        return;
    const bool bare = asksForBareNames(cd.request.postVars.value(QStringLiteral("nofolders")))
        || asksForBareNames(cd.request.urlVars.value(QStringLiteral("nofolders")));

    std::unique_ptr<TarchiveStream> stream;
    if (format == AF_ZIP) {
        stream = std::make_unique<TzipStream>();
    } else {
        auto tar = std::make_unique<TtarStream>();
        tar->fileNamesOEM = opts().oemTar;
        stream = std::move(tar);
    }
    TarchiveBuild build{cd, TpageAdapter(cd), *stream, bare, {}, 0};
    const bool recursive = TfileListing::shouldRecur(&build.view);
    const bool selection = build.addSelection(folder, recursive);
    if (!selection) {
        const QString prefix = folder.isRoot() ? QString() : folder.name + u'/';
        build.addFolder(folder, prefix, recursive, false);
    }
    if (build.view.closed())
        return;
    if (stream->count() == 0) {
        cd.disconnectReason = QStringLiteral("There is no file you are allowed to download");
        replySpecialPage(cd, QStringLiteral("deny"));
        return;
    }

    // A file that changes while it is sent is sent as zeros in its place.
    const TlogPeer peer = logPeer(cd.conn);
    stream->onShortFile = [peer](const QString &src) {
        add2log(QStringLiteral("Archive: %1 changed while it was sent; zeros were sent for what was missing").arg(src),
                peer, TlogColour::red());
    };
    const QString kind = selection ? QStringLiteral("selection")
        : cd.request.urlVars.value(QStringLiteral("search")).isEmpty() ? QStringLiteral("folder")
                                                                        : QStringLiteral("search");
    QString name = defaultArchiveName(folder, kind, format);
    TnameValueList symbols;
    symbols.append(QStringLiteral("%archive-name%"), name);
    symbols.append(QStringLiteral("%mode%"), selection ? QStringLiteral("selection") : QStringLiteral("folder"));
    symbols.append(QStringLiteral("%archive-size%"), QString::number(stream->totalSize()));
    // The script's name is confined like a visitor's: a plain file name.
    const QString scripted = cleanScriptName(s.events().run(QStringLiteral("archive name"), &cd, symbols));
    if (validFilename(scripted))
        name = scripted;
    cd.transfer.lastFileName = name;
    cd.transfer.archivePaths = build.paths;
    cd.transfer.started = now();

    ThttpReply &reply = conn.reply();
    reply.mode = conn.request().method == HM_HEAD ? HRM_REPLY_HEADER : HRM_REPLY;
    reply.contentType = "application/octet-stream";
    reply.bodyMode = RBM_STREAM;
    reply.bodyStream = std::move(stream);
    if (!s.switches.noContentDisposition)
        conn.addHeader("Content-Disposition: " + contentDisposition(name, false), true);
}
