#include "vfs/fileListing.h"

#include "vfs/comments.h"
#include "vfs/connView.h"
#include "vfs/diskEntry.h"
#include "vfs/diskFolderCache.h"
#include "vfs/permissions.h"
#include "util/asciiCase.h"
#include "util/encodings.h"
#include "util/inertText.h"
#include "util/masks.h"

#include <QCollator>
#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// An open folder whose entries are looked up by name.
struct TfolderFd
{
    int fd = -1;
    explicit TfolderFd(const QString &folder)
    {
        if (!folder.isEmpty() && !folder.contains(QChar(0)))
            fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    ~TfolderFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    TfolderFd(const TfolderFd &) = delete;
    TfolderFd &operator=(const TfolderFd &) = delete;
};

// Device and inode of a folder, so that a folder reached twice through
// symbolic links is recognised.
QString diskIdentity(const QString &path)
{
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return QString::number(quint64(st.st_dev)) + u':' + QString::number(quint64(st.st_ino));
}

qint64 urlNumber(const TconnView *cd, const char *name, qint64 def)
{
    bool ok = false;
    const qint64 v = cd->urlVar(QString::fromLatin1(name)).trimmed().toLongLong(&ok);
    return ok ? v : def;
}

bool hiddenOnDisk(const QString &name)
{
    return isHiddenName(name) && !listingOptions().listHiddenFiles;
}

QString searchMask(QString search)
{
    search = search.trimmed();
    QString mask;
    bool inSpaces = false;
    for (QChar c : search) {
        if (c == u' ') {
            if (!inSpaces)
                mask += u'*';
            inSpaces = true;
        } else {
            mask += c;
            inSpaces = false;
        }
    }
    if (mask.isEmpty())
        return mask;
    if (!mask.startsWith(u'*') && !mask.endsWith(u'*'))
        mask = u'*' + mask + u'*';
    return mask;
}

bool maskOk(const QString &mask, const QString &name)
{
    return mask.isEmpty() || matchFileMask(mask, name);
}

QString extensionOf(const Tfile &f)
{
    if (f.isFolder())
        return {};
    const qsizetype dot = f.name.lastIndexOf(u'.');
    return dot < 0 ? QString() : f.name.mid(dot);
}

int sign(double d)
{
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

} // namespace

TlistingOptions &listingOptions()
{
    static TlistingOptions o;
    return o;
}

namespace {

// Milliseconds of the coarse monotonic clock: it is read for every item of
// a listing, and its few milliseconds of grain are well below the interval.
qint64 coarseMonotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// When the event loop last ran (or the interval started); -1: never.
qint64 &lastEventLoopPass()
{
    static qint64 last = -1;
    return last;
}

} // namespace

void startEventLoopInterval()
{
    lastEventLoopPass() = coarseMonotonicMs();
}

bool letEventLoopRun()
{
    qint64 &last = lastEventLoopPass();
    if (!QCoreApplication::instance())
        return false;
    if (last >= 0 && coarseMonotonicMs() - last < kEventLoopIntervalMs)
        return false;
    // One pass over what is pending: each waiting connection gets its turn
    // once. A time budget instead would keep serving under steady load
    // (every "server busy" answer brings the next request) and starve the
    // work that let it run.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    last = coarseMonotonicMs();
    return true;
}

// What one call of fromFolder keeps fixed for its folder.
struct TfileListing::Twalk {
    TconnView *cd = nullptr;
    bool recursive = false;
    qint64 limit = -1;
    bool stopped = false;
    // per folder
    QString nodeFiles, nodeFolders, reqFiles, reqFolders;
    bool showProtected = false;
    bool hideEmpty = false;
};

bool TfileListing::shouldRecur(const TconnView *cd)
{
    if (!cd || !listingOptions().recursiveListing)
        return false;
    if (!cd->urlVar(QStringLiteral("search")).isEmpty())
        return true;
    // Only the bare word counts: "recursive=1" does not.
    if (const auto *q = dynamic_cast<const TqueryFlags *>(cd))
        return q->hasBareUrlVar(QStringLiteral("recursive"));
    return false;
}

bool folderOpensFor(const Tfile &folder, const TconnView *cd)
{
    return folder.isFolder() && folder.flags.has(FA_BROWSABLE) && !folder.hasRecursive(FA_HIDDENTREE)
        && folder.accessFor(cd);
}

bool TfileListing::limitFull(const Twalk &w) const
{
    return w.limit >= 0 && dir.size() >= w.limit;
}

qint64 TfileListing::fromFolder(Tfile *folder, TconnView *cd, bool recursive, qint64 limit, qint64 toSkip,
                                bool doClear)
{
    if (doClear)
        dir.clear();
    if (!folder || !folderOpensFor(*folder, cd))
        return toSkip;
    if (cd) {
        if (limit < 0)
            limit = urlNumber(cd, "limit", -1);
        if (toSkip < 0) {
            toSkip = urlNumber(cd, "offset", -1);
            if (toSkip < 0)
                toSkip = std::max<qint64>(0, (urlNumber(cd, "page", 1) - 1) * limit);
        }
    }
    Twalk w;
    w.cd = cd;
    w.recursive = recursive;
    w.limit = limit;
    return listFolder(w, folder, toSkip);
}

qint64 TfileListing::listFolder(Twalk &parentWalk, Tfile *folder, qint64 toSkip)
{
    Twalk w = parentWalk;
    TconnView *cd = w.cd;
    folder->getFiltersRecursively(w.nodeFiles, w.nodeFolders);
    if (cd && !ignoreConnFilter) {
        const QString filter = cd->urlVar(QStringLiteral("filter"));
        w.reqFiles = cd->urlVar(QStringLiteral("files-filter"));
        w.reqFolders = cd->urlVar(QStringLiteral("folders-filter"));
        if (w.reqFiles.isEmpty())
            w.reqFiles = filter;
        if (w.reqFolders.isEmpty())
            w.reqFolders = filter;
        if (w.reqFiles.isEmpty() && w.reqFolders.isEmpty()) {
            const QString mask = searchMask(cd->urlVar(QStringLiteral("search")));
            w.reqFiles = w.reqFolders = mask;
        }
    }
    w.showProtected = !listingOptions().listProtectedItems && !archiveMode;
    w.hideEmpty = w.reqFiles.isEmpty() && folder->hasRecursive(FA_HIDE_EMPTY_FOLDERS);

    // A folder already on the walk (through a symbolic link) is not walked again.
    const QString identity = folder->isRealFolder() ? diskIdentity(folder->resource) : QString();
    if (!identity.isEmpty()) {
        if (onPath.contains(identity))
            return toSkip;
        onPath.insert(identity);
    }
    const TfilePtr keep(folder); // the tree may change while the loop runs

    if (folder->isRealFolder() && !folder->flags.has(FA_HIDDENTREE) && canBeListed(w, *folder))
        collectDisk(w, folder, toSkip);
    if (!w.stopped && !folder->isTemp())
        collectTree(w, folder, toSkip);

    if (!identity.isEmpty())
        onPath.remove(identity);
    parentWalk.stopped = parentWalk.stopped || w.stopped;
    return toSkip;
}

bool TfileListing::canBeListed(const Twalk &w, const Tfile &f) const
{
    if (!w.cd)
        return false;
    if (f.flags.has(FA_VIS_ONLY_ANON) && !w.cd->user().isEmpty())
        return false;
    if (!w.showProtected && !f.accessFor(w.cd))
        return false;
    if (archiveMode && f.isDLforbidden())
        return false;
    return true;
}

bool TfileListing::addToListing(Twalk &w, const TfilePtr &item, qint64 &toSkip, bool collect)
{
    if (collect && w.hideEmpty && item->isFolder() && isEmptyFolder(*item, w.cd)
        && !accountAllowed(FA_UPLOAD, w.cd, item.data()))
        return true;
    if (letEventLoopRun() && w.cd && w.cd->closed()) {
        w.stopped = true;
        return false;
    }
    if (collect) {
        if (toSkip > 0)
            --toSkip;
        else
            dir.append(item);
    }
    if (w.recursive && item->isFolder() && folderOpensFor(*item, w.cd))
        toSkip = listFolder(w, item.data(), toSkip);
    return !w.stopped;
}

void TfileListing::collectDisk(Twalk &w, Tfile *folder, qint64 &toSkip)
{
    if (limitFull(w))
        return;
    QSet<QString> treeNames;
    if (!folder->isTemp())
        for (const TfilePtr &c : folder->children())
            treeNames.insert(asciiLower(c->name));

    // Comments: exact names, then masks in file order.
    const TnameValueList fileComments = loadCommentsFile(folder->resource);
    TnameValueList descriptions;
    loadDescriptions(folder->resource, descriptions);
    struct Twild {
        QString mask, text;
        bool escaped;
    };
    QList<Twild> wild;
    TnameValueList exact;
    QSet<QString> exactEscaped;
    const auto take = [&](const TnameValueList &list, bool escaped) {
        for (const auto &e : list.entries()) {
            if (e.name.contains(u'?') || e.name.contains(u'*'))
                wild.append({e.name, e.value, escaped});
            else if (!exact.contains(e.name)) {
                exact.append(e.name, e.value);
                if (escaped)
                    exactEscaped.insert(asciiLower(e.name));
            }
        }
    };
    take(fileComments, true);
    take(descriptions, false);

    const QString base = folder->resource.endsWith(u'/') ? folder->resource : folder->resource + u'/';
    std::optional<TfolderFd> folderFd; // opened for the first entry stat'ed again
    const TdiskFolderEntries entries = TdiskFolderCache::instance().entries(folder->resource);
    for (const TdiskFolderEntry &e : entries ? *entries : QList<TdiskFolderEntry>()) {
        if (w.stopped || limitFull(w))
            break;
        if (letEventLoopRun() && w.cd) {
            if (w.cd->closed()) {
                w.stopped = true;
                break;
            }
            w.cd->touch();
        }
        const QString &name = e.name;
        if ((!e.isDir && (isCommentFile(name) || isFingerprintFile(name) || sameText(name, DIFF_TPL_FILE)))
            || hiddenOnDisk(name) || (!treeNames.isEmpty() && treeNames.contains(asciiLower(name))))
            continue;
        const bool matches = e.isDir ? maskOk(w.nodeFolders, name) && maskOk(w.reqFolders, name)
                                     : maskOk(w.nodeFiles, name) && maskOk(w.reqFiles, name);
        if (!matches && !(w.recursive && e.isDir))
            continue;
        if (e.recheck && !folderFd)
            folderFd.emplace(folder->resource);
        TfilePtr f = Tfile::createTempEntry(base, name, folder,
                                            e.recheck ? diskEntryInfoAt(folderFd->fd, name) : e.info);
        // The node's stat decides: the entry may have changed since it was read.
        if (f->isFolder() != e.isDir || (!e.isDir && f->size < 0))
            continue;
        if (f->flags.has(FA_SOLVED_LNK) && f->isFolder())
            continue; // shortcuts are followed for files only
        if (folder->flags.has(FA_DONT_LOG))
            f->flags.set(FA_DONT_LOG);
        if (!folder->flags.has(FA_BROWSABLE))
            f->flags.clear(FA_BROWSABLE);
        if (!matches) {
            addToListing(w, f, toSkip, false);
            continue;
        }
        QString cmt;
        bool escaped = false;
        const qsizetype at = exact.indexOf(name);
        if (at >= 0) {
            cmt = exact.valueAt(at);
            escaped = exactEscaped.contains(asciiLower(name));
        } else {
            for (const Twild &wl : std::as_const(wild))
                if (matchFileMask(wl.mask, name)) {
                    cmt = wl.text;
                    escaped = wl.escaped;
                    break;
                }
        }
        if (escaped)
            cmt = unescapeLineBreaks(cmt);
        if (!cmt.isEmpty()) // most entries have none
            f->comment = makeInert(cmt);
        if (e.isDir)
            f->size = 0;
        else if (f->flags.has(FA_SOLVED_LNK) && f->size < 0)
            continue;
        if (!addToListing(w, f, toSkip, true))
            break;
    }
}

void TfileListing::collectTree(Twalk &w, Tfile *folder, qint64 &toSkip)
{
    const QList<TfilePtr> kids = folder->children(); // a copy: the tree may change meanwhile
    for (const TfilePtr &child : kids) {
        if (w.stopped || limitFull(w) || (w.cd && w.cd->closed()))
            break;
        if (w.cd)
            w.cd->touch();
        if (child->flags.has(FA_HIDDEN) || child->flags.has(FA_HIDDENTREE))
            continue;
        const bool isFolder = child->isFolder();
        bool matches = isFolder ? maskOk(w.nodeFolders, child->name) && maskOk(w.reqFolders, child->name)
                                : maskOk(w.nodeFiles, child->name) && maskOk(w.reqFiles, child->name);
        if (matches && archiveMode && child->isRealFolder() && child->flags.has(FA_DL_FORBIDDEN))
            matches = false;
        // A child the page would not show is neither collected nor searched.
        if (!canBeListed(w, *child))
            continue;
        if (!matches) {
            if (w.recursive && isFolder)
                addToListing(w, child, toSkip, false);
            continue;
        }
        bool collect = false;
        if (child->flags.has(FA_VIRTUAL)) {
            collect = true;
        } else {
            const DiskEntryInfo info = diskEntryInfo(child->resource);
            if (info.kind == DiskEntry::File) {
                child->size = info.size;
                child->mtime = info.mtime;
                collect = !hiddenOnDisk(nameOfPath(child->resource));
            } else {
                collect = info.kind == DiskEntry::Folder;
            }
        }
        if (collect && !addToListing(w, child, toSkip, true))
            break;
    }
}

namespace {

const QCollator &nameCollator()
{
    static const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

// In the C locale the collator compares code points (cheaply) but its sort
// keys would not fold case: keys are used only under a real collation.
bool useSortKeys()
{
    static const bool use = nameCollator().locale().language() != QLocale::C;
    return use;
}

bool asciiOnly(QStringView s)
{
    char16_t any = 0;
    for (const QChar c : s)
        any |= c.unicode();
    return any < 128;
}

// Code-unit order of the two texts with ASCII letters folded to lower case
// (as QString::compare orders their folded copies).
int compareAsciiFolded(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = asciiLower(a[i].unicode()), y = asciiLower(b[i].unicode());
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// What the comparison of one item needs, worked out once per item: a sort
// costs n log n comparisons, and collating names is the dear part.
struct TsortItem {
    const Tfile *f = nullptr;
    bool link = false, folder = false; // read here, not through f, at each comparison
    // Where links and folders go first: 0 before 1 before 2 (see groupFor).
    int group = 0;
    QString ext;
    int dl = 0;
    std::optional<QCollatorSortKey> key;
    // Without a real collation: the name case-folded. An ASCII name folds
    // as its ASCII letters do, so it is compared as it stands, folded on
    // the fly, and never copied.
    QString folded;
    QStringView foldable;
    // Its first kHeadUnits units folded, packed high to low, zeros after its
    // end: comparing the heads compares those units in order.
    static constexpr qsizetype kHeadUnits = 20;
    quint64 head[kHeadUnits / 4] = {};

    // The head of `units` (at most kHeadUnits), ASCII letters folded.
    void packHead(QStringView units)
    {
#if defined(__SSE2__)
        // Eight units a step: folded, and each four turned so that the first
        // lands in the high bits of its word.
        constexpr qsizetype kStep = 8, kPadded = (kHeadUnits + kStep - 1) / kStep * kStep;
        alignas(16) char16_t padded[kPadded] = {}; // zeros after the end
        std::copy(units.utf16(), units.utf16() + units.size(), padded);
        alignas(16) quint64 words[kPadded / 4];
        const __m128i beforeA = _mm_set1_epi16(u'A' - 1), afterZ = _mm_set1_epi16(u'Z' + 1),
                      toLower = _mm_set1_epi16(u'a' - u'A');
        for (qsizetype at = 0; at < kPadded; at += kStep) {
            __m128i v = _mm_load_si128(reinterpret_cast<const __m128i *>(padded + at));
            const __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(v, beforeA), _mm_cmplt_epi16(v, afterZ));
            v = _mm_add_epi16(v, _mm_and_si128(upper, toLower));
            v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(0, 1, 2, 3)), _MM_SHUFFLE(0, 1, 2, 3));
            _mm_store_si128(reinterpret_cast<__m128i *>(words + at / 4), v);
        }
        std::copy(words, words + kHeadUnits / 4, head);
#else
        for (qsizetype i = 0; i < units.size(); ++i)
            head[i / 4] |= quint64(asciiLower(units[i].unicode())) << (48 - 16 * (i % 4));
#endif
    }

    TsortItem(const Tfile &file, QChar field) : f(&file), link(file.isLink()), folder(file.isFolder())
    {
        if (useSortKeys()) {
            key.emplace(nameCollator().sortKey(file.name));
        } else if (asciiOnly(file.name)) {
            foldable = file.name;
        } else {
            folded = file.name.toCaseFolded();
            foldable = folded;
        }
        packHead(foldable.left(std::min(foldable.size(), kHeadUnits)));
        if (field == u'e')
            ext = extensionOf(file);
        else if (field == u'd')
            dl = file.downloadCount();
    }
};

// The folded names' order: their heads, then what follows. With equal
// heads, a name that ends within its head is a prefix of the other.
// Whether each item comes strictly before the next: no two compare equal
// then, and the order they are in is the only sorted one.
template<typename Less>
bool strictlyOrdered(const std::vector<qsizetype> &ix, const Less &less)
{
    for (size_t k = 1; k < ix.size(); ++k)
        if (!less(ix[k - 1], ix[k]))
            return false;
    return true;
}

int compareFoldedNames(const TsortItem &x, const TsortItem &y)
{
    for (qsizetype j = 0; j < TsortItem::kHeadUnits / 4; ++j)
        if (x.head[j] != y.head[j])
            return x.head[j] < y.head[j] ? -1 : 1;
    const qsizetype a = x.foldable.size(), b = y.foldable.size(), k = TsortItem::kHeadUnits;
    if (a <= k || b <= k)
        return a == b ? 0 : (a < b ? -1 : 1);
    return compareAsciiFolded(x.foldable.mid(k), y.foldable.mid(k));
}

// The first steps of compareSortItems in one number: links (when they go
// first), then folders (when they do), then the rest.
int groupFor(const TsortItem &item, bool foldersBefore, bool linksBefore)
{
    return (linksBefore && !item.link ? 2 : 0) + (foldersBefore && !item.folder ? 1 : 0);
}

int compareSortItems(const TsortItem &x, const TsortItem &y, QChar key, bool rev, bool foldersBefore,
                     bool linksBefore)
{
    if (linksBefore && x.link != y.link)
        return x.link ? -1 : 1;
    if (foldersBefore && x.folder != y.folder)
        return x.folder ? -1 : 1;
    const Tfile &a = *x.f, &b = *y.f;
    int r = 0;
    switch (key.unicode()) {
    case u'e':
        // Folders count as having no extension, so the order stays transitive.
        r = compareText(x.ext, y.ext);
        break;
    case u's':
        r = a.size < b.size ? -1 : (a.size > b.size ? 1 : 0);
        break;
    case u't':
        r = sign(a.mtime - b.mtime);
        break;
    case u'd':
        r = x.dl < y.dl ? -1 : (x.dl > y.dl ? 1 : 0);
        break;
    case u'c':
        r = compareText(a.comment, b.comment);
        break;
    default:
        break;
    }
    if (r == 0) {
        // Without a collation names compare case-blind; folding once per
        // item spares every comparison the folding.
        r = x.key && y.key ? x.key->compare(*y.key) : compareFoldedNames(x, y);
        if (r == 0)
            r = compareText(a.name, b.name);
    }
    r = r < 0 ? -1 : (r > 0 ? 1 : 0);
    return rev ? -r : r;
}

} // namespace

int TfileListing::compareItems(const Tfile &a, const Tfile &b, QChar key, bool rev, bool foldersBefore,
                               bool linksBefore)
{
    return compareSortItems(TsortItem(a, key), TsortItem(b, key), key, rev, foldersBefore, linksBefore);
}

void TfileListing::sort(TconnView *cd, const QString &def)
{
    const TlistingOptions &o = listingOptions();
    QString key = def;
    if (key.isEmpty())
        key = o.defaultSorting;
    if (key.isEmpty())
        key = QStringLiteral("name");
    bool rev = false, foldersBefore = o.foldersBefore, linksBefore = o.linksBefore;
    if (cd) {
        const QString s = cd->urlVar(QStringLiteral("sort"));
        if (!s.isEmpty())
            key = s;
        rev = cd->urlVar(QStringLiteral("rev")) == u"1";
        const QString fb = cd->urlVar(QStringLiteral("foldersbefore"));
        if (!fb.isEmpty())
            foldersBefore = fb == u"1";
        const QString lb = cd->urlVar(QStringLiteral("linksbefore"));
        if (!lb.isEmpty())
            linksBefore = lb == u"1";
    }
    if (key.startsWith(u'!')) {
        rev = !rev;
        key.remove(0, 1);
    }
    const QChar field = key.isEmpty() ? QChar() : key[0];
    if (!QStringView(u"nestdc").contains(field) || field.isNull())
        return; // unknown key: collection order

    // The items are sorted through indexes into their precomputed keys, then
    // `dir` is rearranged once.
    std::vector<TsortItem> items;
    items.reserve(size_t(dir.size()));
    for (const TfilePtr &f : std::as_const(dir))
        items.emplace_back(*f, field);
    std::vector<qsizetype> ix(items.size());
    for (size_t k = 0; k < ix.size(); ++k)
        ix[k] = qsizetype(k);
    for (TsortItem &item : items)
        item.group = groupFor(item, foldersBefore, linksBefore);
    // Most comparisons are settled by the groups or, by name, by the heads
    // of the folded names; the rest take the whole comparison.
    const bool byHeads = field == u'n' && !useSortKeys();
    const auto less = [&](qsizetype a, qsizetype b) {
        const TsortItem &x = items[size_t(a)], &y = items[size_t(b)];
        if (x.group != y.group)
            return x.group < y.group;
        if (byHeads)
            for (qsizetype j = 0; j < TsortItem::kHeadUnits / 4; ++j)
                if (x.head[j] != y.head[j])
                    return (x.head[j] < y.head[j]) != rev;
        return compareSortItems(x, y, field, rev, foldersBefore, linksBefore) < 0;
    };
    // A folder's names mostly come in the order asked for already.
    if (strictlyOrdered(ix, less))
        return;
    const auto apply = [&] {
        QList<TfilePtr> sorted;
        sorted.reserve(dir.size());
        for (const qsizetype k : ix)
            sorted.append(dir[k]);
        dir = std::move(sorted);
    };
    // Quicksort with the middle element as pivot; the loop runs before each
    // partition and a closed connection ends the work.
    struct Trange {
        qsizetype lo, hi;
    };
    QList<Trange> todo{{0, qsizetype(ix.size()) - 1}};
    while (!todo.isEmpty()) {
        const Trange r = todo.takeLast();
        if (r.lo >= r.hi)
            continue;
        letEventLoopRun();
        if (cd && cd->closed()) {
            apply();
            return;
        }
        if (r.hi - r.lo < 16) { // small ranges: insertion sort
            for (qsizetype i = r.lo + 1; i <= r.hi; ++i)
                for (qsizetype j = i; j > r.lo && less(ix[j], ix[j - 1]); --j)
                    std::swap(ix[j], ix[j - 1]);
            continue;
        }
        const qsizetype pivot = ix[r.lo + (r.hi - r.lo) / 2];
        qsizetype i = r.lo, j = r.hi;
        while (i <= j) {
            while (i <= r.hi && less(ix[i], pivot))
                ++i;
            while (j >= r.lo && less(pivot, ix[j]))
                --j;
            if (i <= j) {
                std::swap(ix[i], ix[j]);
                ++i;
                --j;
            }
        }
        todo.append({r.lo, j});
        todo.append({i, r.hi});
    }
    apply();
}

bool isEmptyFolder(const Tfile &f, TconnView *cd)
{
    if (!f.isFolder())
        return false;
    // Nested emptiness tests (hide-empty inside hide-empty) stop at a depth
    // where the folder is simply shown.
    static int depth = 0;
    if (depth > 16)
        return false;
    ++depth;
    TfileListing l;
    // A skip count of 0: the page being shown must not make its subfolders look empty.
    l.fromFolder(const_cast<Tfile *>(&f), cd, false, 1, 0, true);
    --depth;
    return l.dir.isEmpty();
}
