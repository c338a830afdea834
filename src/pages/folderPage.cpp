#include "pages/folderPage.h"

#include "pages/pageContext.h"
#include "pages/pageFinish.h"
#include "pages/symbols.h"
#include "script/macroData.h"
#include "script/macroEngine.h"
#include "script/macroParser.h"
#include "script/macroText.h"
#include "tpl/cachedTpls.h"
#include "tpl/mainTemplate.h"
#include "util/dateTime.h"
#include "util/format.h"
#include "util/inertText.h"
#include "vfs/comments.h"
#include "vfs/file.h"
#include "vfs/fileListing.h"
#include "vfs/fileListingNames.h"
#include "vfs/fingerprint.h"
#include "vfs/permissions.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>

#include <algorithm>
#include <vector>

namespace {

// The working state of one page build.
struct TpageBuild
{
    TpageContext *ctx = nullptr;
    TmacroData md;
    QStringList pageTable;
    // The page table followed by the item symbols, whose values are set in
    // place for each item (item symbols are looked up first).
    QStringList itemTable;
    QString fileTxt, folderTxt, linkTxt;
    bool wantFileIcons = false;
    bool recursive = false;
    QString baseUrl;
    bool baseUrlPlain = false; // no marker in it, and it ends with "/"
    QString folderUrl;
    // The visitor's credentials, for the items' access.
    QString user, pwd;
    QString protectedTxt;
    bool protectedKnown = false;
    // The text of files by extension ("file.txt" or else "file").
    struct TextOfExt
    {
        QString ext, text;
    };
    std::vector<TextOfExt> textOfExt;
    qsizetype relFolderStart = 0;
    Thasher hasher;
    bool useHasher = false;
    // Whether the folder's own disk entries may have their own ".md5" files.
    bool entriesMayHaveOwnHash = true;
    bool accessibleItem = false;
    qsizetype itemCount = 0;
    QString itemFolder;         // %item-folder% of the last item
    QString itemRelativeFolder; // and its %item-relative-folder%
    bool itemFolderKnown = false;
    QString list;
    TlistMarks listMarks; // looked for in each item's text while it is at hand
    // The items' runs, set up once for the list.
    TpreparedRun *itemRun = nullptr;
    // Item texts prepared once per page, by text; the last one used first
    // (items mostly share their text).
    QHash<QString, std::shared_ptr<const TpreparedText>> prepared;
    QString lastText;
    std::shared_ptr<const TpreparedText> lastPrepared;

    const TpreparedText &preparedFor(const QString &text)
    {
        if (lastPrepared && (text.constData() == lastText.constData() || text == lastText))
            return *lastPrepared;
        auto &p = prepared[text];
        if (!p) p = std::make_shared<const TpreparedText>(text);
        lastText = text;
        lastPrepared = p;
        return *p;
    }
};

// The text of a file item: the template's section for its extension, else
// the plain file section; found once per extension and page.
QString fileTextFor(TpageBuild &b, const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    const QStringView ext = dot < 0 ? QStringView() : QStringView(name).mid(dot);
    for (const TpageBuild::TextOfExt &e : b.textOfExt)
        if (QStringView(e.ext) == ext) return e.text;
    QString text = b.md.tpl->getTxtByExt(ext.toString());
    if (text.isEmpty()) text = b.fileTxt;
    constexpr size_t kMaxExtensions = 64; // names of every kind: look them up
    if (b.textOfExt.size() < kMaxExtensions) b.textOfExt.push_back({ext.toString(), text});
    return text;
}

// Whether `item` is an entry of the listed folder on disk, in it still (not
// a shell link resolved elsewhere): its ".md5" would be the folder's.
bool entryOfListedFolder(const TpageBuild &b, const Tfile &item)
{
    return !b.recursive && item.isTemp() && !item.flags.has(FA_SOLVED_LNK);
}

// The item symbols after the page's in TpageBuild::itemTable, in this order.
const char *const kItemSymbols[] = {"%item-folder%", "%item-relative-folder%", "%protected%",
                                    "%item-url%",    "%item-full-url%",       "%item-type%"};
enum TitemSlot { IS_FOLDER, IS_RELATIVE_FOLDER, IS_PROTECTED, IS_URL, IS_FULL_URL, IS_TYPE };

// Sets the item's %item-url% and %item-full-url%. The values are written
// into the table's own strings: their buffers, free again once the item
// before has run, are reused instead of new ones being allocated.
void setItemUrls(TpageBuild &b, Tfile &item, QString &url, QString &fullUrl)
{
    QString suffix;
    if (b.useHasher && item.isFile()) {
        QString hash = entryOfListedFolder(b, item) && !b.entriesMayHaveOwnHash
                           ? QString()
                           : getOwnFingerprint(item.resource);
        if (hash.isEmpty()) hash = b.hasher.getHashFor(item.resource);
        if (!hash.isEmpty()) suffix = QStringLiteral("#!md5!") + hash;
    }
    if (item.isLink()) {
        url = fullUrl = item.resource;
        return;
    }
    if (pageOptions().includePwdInPages && !b.user.isEmpty()) {
        url = fullUrl = macroQuote(item.fullURL(b.ctx->host(), b.user, b.pwd) + suffix);
        return;
    }
    url.truncate(0);
    if (b.recursive)
        url += QStringView(item.url(false)).mid(b.folderUrl.size());
    else
        item.appendRelativeURL(url, false);
    if (!suffix.isEmpty()) url += suffix;
    // Without a marker on either side of the "/" where they join, the full
    // URL has none either.
    if (b.baseUrlPlain && !containsMacroMarker(url)) {
        // Sized once, then both parts copied into place.
        fullUrl.resize(b.baseUrl.size() + url.size());
        std::copy(url.cbegin(), url.cend(), std::copy(b.baseUrl.cbegin(), b.baseUrl.cend(), fullUrl.begin()));
    } else {
        fullUrl = macroQuote(b.baseUrl + url);
        url = macroQuote(url);
    }
}

void buildListItem(TpageBuild &b, Tfile &item)
{
    if (!item.isLink() && item.resource.contains(u'?')) return;
    // The previous item's run is over: the table is ours again to fill in
    // place (a macro that changed its copy does not reach this one).
    b.md.table = QStringList();
    QString *const values = b.itemTable.data() + b.pageTable.size() + 1;
    const auto slot = [values](TitemSlot s) -> QString & { return values[2 * s]; };
    QList<QPair<QString, QString>> icons;
    if (item.icon >= 0) {
        const QString url = QStringLiteral("~img") + QString::number(item.icon);
        icons << qMakePair(QStringLiteral("~img_folder"), url)
              << qMakePair(QStringLiteral("~img_link"), url);
    }
    if (item.isFile() && b.wantFileIcons && (pageOptions().useSystemIcons || item.icon >= 0)) {
        const int i = item.getSystemIcon();
        if (i >= 0)
            icons << qMakePair(QStringLiteral("~img_file"),
                               QStringLiteral("~img") + QString::number(i));
    }
    // Outside a recursive listing every item sits right in the folder shown.
    // Folder paths come from disk names: shown, never run (a folder named
    // "{.delete|...}" or "%cwd%" met by a recursive search).
    if (b.recursive || !b.itemFolderKnown) {
        const QString folder = item.getFolder();
        b.itemFolder = makeInert(folder);
        b.itemRelativeFolder = b.recursive ? makeInert(folder.mid(b.relFolderStart)) : QString();
        b.itemFolderKnown = true;
    }
    slot(IS_FOLDER) = b.itemFolder;
    slot(IS_RELATIVE_FOLDER) = b.itemRelativeFolder;

    if (item.accessFor(b.user, b.pwd)) {
        slot(IS_PROTECTED) = QString();
        if (!item.isLink()) b.accessibleItem = true;
    } else {
        if (!b.protectedKnown) {
            b.protectedTxt = b.md.tpl->getTxt(QStringLiteral("protected"));
            b.protectedKnown = true;
        }
        slot(IS_PROTECTED) = b.protectedTxt;
    }
    setItemUrls(b, item, slot(IS_URL), slot(IS_FULL_URL));

    QString text, type;
    if (item.isLink()) {
        text = b.linkTxt;
        type = QStringLiteral("link");
    } else if (item.isFolder()) {
        text = b.folderTxt;
        type = QStringLiteral("folder");
    } else {
        text = fileTextFor(b, item.name);
        type = QStringLiteral("file");
    }
    slot(IS_TYPE) = type;
    for (const auto &p : std::as_const(icons))
        text.replace(p.first, p.second);

    b.md.table = b.itemTable;
    b.md.f = &item;
    const bool first = b.list.isEmpty();
    const qsizetype start = b.list.size();
    b.itemRun->run(b.preparedFor(text), b.list);
    // From the last character of the item before: a sign may span the two.
    if (!b.listMarks.complete()) addListMarks(b.listMarks, QStringView(b.list).mid(first ? 0 : start - 1));
    b.md.f = nullptr;
    // Room for the whole list at once, guessed from the first item: one
    // allocation instead of a copy at every doubling.
    if (first) b.list.reserve(b.list.size() * (b.itemCount + 1) * 5 / 4);
}

} // namespace

QString buildFolderPage(Tfile *folderIn, TpageContext *ctx, const TtplPtr &requestTpl,
                        TpageTemplateKind kind)
{
    if (!folderIn || !folderIn->isFolder() || !ctx || !requestTpl) return {};
    const TfilePtr folder(folderIn); // kept alive while the loop runs
    if (macroSettings().logEnabled && !macroSettings().logAppend) resetMacroLog();
    QElapsedTimer clock;
    clock.start();
    const bool wasLocked = folder->locked;
    folder->lock();
    TpageContextScope scope(ctx);
    TsideFileScope sideFiles; // each folder's "*.comment"/"*.md5" names read once
    ctx->addReplyHeader(QStringLiteral("Cache-Control"),
                        QStringLiteral("no-cache, no-store, must-revalidate, max-age=-1"));

    TpageBuild b;
    b.ctx = ctx;
    b.recursive = TfileListing::shouldRecur(ctx);
    b.folderUrl = folder->url(false);
    b.baseUrl = (pageOptions().httpsUrl ? QStringLiteral("https://") : QStringLiteral("http://")) +
                ctx->host() + folder->url(true);
    b.baseUrlPlain = b.baseUrl.endsWith(u'/') && !containsMacroMarker(b.baseUrl);
    b.user = ctx->user();
    b.pwd = ctx->pwd();
    const TtplPtr tpl =
        pageTemplateChain(kind == PT_FILE_LIST ? QString() : getRecursiveDiffTplAsStr(*folder),
                          ctx->ownTemplate(), requestTpl);

    QString result;
    bool slot = false;
    [&] {
        const TtplSection *main = tpl->getSection(QString());
        if (!main) return;
        const bool buildList = !main->noList;
        const QString mainText = main->txt; // the section may go with a reloaded template
        if (buildList) {
            if (!tryBuildSlot(ctx->address())) {
                ctx->setReplyMode(PAGE_OVERLOAD);
                ctx->addReplyHeader(QStringLiteral("Refresh"),
                                    QString::number(1 + QRandomGenerator::global()->bounded(2)));
                result = QStringLiteral("Please wait, server busy");
                return;
            }
            startEventLoopInterval();
            slot = true;
        }
        b.relFolderStart = folder->pathTill(nullptr, u'\\').size() + (folder->isRoot() ? 0 : 2);
        b.md.cd = ctx->macroConn();
        b.md.tpl = tpl;
        b.md.folder = folder.data();
        b.md.archiveAvailable = folder->hasRecursive(FA_ARCHIVABLE) && !folder->isDLforbidden();
        b.md.hideExt = folder->hasRecursive(FA_HIDE_EXT);

        QString begin = tpl->getTxt(QStringLiteral("special:begin"));
        if (!begin.isEmpty()) runMacroText(begin, b.md, false);

        if (buildList) {
            b.fileTxt = tpl->getTxt(QStringLiteral("file"));
            b.folderTxt = tpl->getTxt(QStringLiteral("folder"));
            b.linkTxt = tpl->getTxt(QStringLiteral("link"));
            b.wantFileIcons = b.fileTxt.contains(QLatin1String("~img_file"));
            b.useHasher = commentOptions().enableFingerprints;
            if (b.useHasher && folder->isRealFolder()) {
                b.hasher.loadFrom(folder->resource);
                b.entriesMayHaveOwnHash = b.hasher.mayHaveSumFiles();
            }
            TfileListing listing;
            listing.fromFolder(folder.data(), ctx, b.recursive, -1, -1, true);
            listing.sort(ctx, b.recursive || kind == PT_FILE_LIST
                                  ? QStringLiteral("?")
                                  : tpl->getTxt(QStringLiteral("sort by")));
            qint64 total = 0;
            int links = 0, folders = 0, files = 0;
            for (const TfilePtr &f : std::as_const(listing.dir)) {
                if (f->size > 0) total += f->size;
                if (f->isLink())
                    ++links;
                else if (f->isFolder())
                    ++folders;
                else
                    ++files;
            }
            const qsizetype n = listing.dir.size();
            b.itemCount = n;
            b.pageTable = QStringList{
                QStringLiteral("%upload-link%"),
                accountAllowed(FA_UPLOAD, ctx, folder.data())
                    ? tpl->getTxt(QStringLiteral("upload-link"))
                    : QString(),
                QStringLiteral("%files%"),
                tpl->getTxt(n > 0 ? QStringLiteral("files") : QStringLiteral("nofiles")),
                QStringLiteral("%number%"),
                QString::number(n),
                QStringLiteral("%number-files%"),
                QString::number(files),
                QStringLiteral("%number-folders%"),
                QString::number(folders),
                QStringLiteral("%number-links%"),
                QString::number(links),
                QStringLiteral("%total-bytes%"),
                QString::number(total),
                QStringLiteral("%total-kbytes%"),
                QString::number(total / 1024),
                QStringLiteral("%total-size%"),
                smartSize(total),
            };
            b.itemTable = b.pageTable;
            for (const char *name : kItemSymbols)
                b.itemTable << QString::fromLatin1(name) << QString();
            TpreparedRun itemRun(b.md, TpreparedRun::NAMES_FIXED); // items set values only
            b.itemRun = &itemRun;
            for (const TfilePtr &f : std::as_const(listing.dir)) {
                if (letEventLoopRun()) {
                    if (ctx->closed()) {
                        result.clear();
                        return; // nothing is sent
                    }
                    ctx->touch();
                }
                buildListItem(b, *f);
            }
            b.itemRun = nullptr;
            if (!b.accessibleItem) b.md.archiveAvailable = false;
        }
        // The items are expanded already. Unless one left a macro for this
        // pass, the page runs with a stand-in for the list, which joins the
        // result afterwards: the page's macros then work on a few kilobytes,
        // not on the whole list, and nothing an item showed (a name, a
        // comment) is read as a symbol a second time.
        const bool spliceList = !b.list.isEmpty() && !b.md.deferredToPage;
        b.md.table = b.pageTable;
        b.md.table << QStringLiteral("%list%") << (spliceList ? listStandIn() : b.list);
        if (!spliceList) b.list.clear();
        b.md.f = nullptr;
        result = mainText;
        b.md.afterTheList = true;
        runMacroText(result, b.md, true);
        b.md.afterTheList = false;
        const QString buildTime = buildTimeText(clock.elapsed());
        if (spliceList) {
            result = finishFolderPage(std::move(result), std::move(b.list), b.listMarks, buildTime);
            b.list.clear();
        } else {
            replacePageCounters(result, buildTime);
        }
    }();
    if (ctx->closed()) result.clear();
    if (slot) releaseBuildSlot(ctx->address());
    if (!wasLocked) folder->unlock();
    return result;
}

void installBuiltinPageTemplates()
{
    setDefaultTemplateText(builtinTemplateText(QStringLiteral("default.tpl")));
    setDmBrowserTemplateText(builtinTemplateText(QStringLiteral("dm.tpl")));
    setFileListTemplateText(builtinTemplateText(QStringLiteral("filelist.tpl")));
    registerPageSymbols();
}

