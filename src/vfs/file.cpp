#include "vfs/file.h"

#include "vfs/diskEntry.h"
#include "vfs/shellLinks.h"
#include "vfs/vfs.h"
#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/masks.h"

#include <QHash>
#include <QFile>

#include <algorithm>
#include <climits>
#include <cmath>
#include <ctime>

#include <sys/statvfs.h>

namespace {

// A resource never ends with "/", except the file system's root itself.
QString withoutTrailingDelimiter(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QString lastPathComponent(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

Tfile::Tfile() = default;

Tfile::~Tfile()
{
    // Children still held elsewhere outlive us: they must not point back.
    for (const TfilePtr &c : std::as_const(children_))
        c->parent_ = nullptr;
}

// A node for a disk item; `seen` receives what the disk said of it.
TfilePtr Tfile::createFor(const QString &fullpath, DiskEntryInfo &seen)
{
    const QString resource = withoutTrailingDelimiter(fullpath);
    seen = resource.isEmpty() ? DiskEntryInfo() : diskEntryInfo(resource);
    return createSeen(resource, seen);
}

TfilePtr Tfile::createSeen(const QString &fullpath, const DiskEntryInfo &seen,
                           const QString *lastComponent)
{
    TfilePtr f(new Tfile);
    f->icon = -1;
    f->size = -1;
    // A listing makes one node per entry: the coarse clock, read cheaply,
    // tells the time within milliseconds.
    f->atime = f->mtime = nowCoarse();
    f->setResourceNamed(lastComponent ? fullpath : withoutTrailingDelimiter(fullpath), lastComponent);
    if (seen.kind == DiskEntry::Folder) {
        f->flags.set(FA_FOLDER);
        f->flags.set(FA_BROWSABLE);
    }
    return f;
}

TfilePtr Tfile::create(const QString &fullpath)
{
    DiskEntryInfo seen;
    return createFor(fullpath, seen);
}

TfilePtr Tfile::createTemp(const QString &fullpath, const Tfile *folder)
{
    const QString resource = withoutTrailingDelimiter(fullpath);
    return createTemp(resource, folder, resource.isEmpty() ? DiskEntryInfo() : diskEntryInfo(resource));
}

TfilePtr Tfile::createTemp(const QString &fullpath, const Tfile *folder, const DiskEntryInfo &seen)
{
    TfilePtr f = createSeen(fullpath, seen);
    f->becomeTemp(folder, seen);
    return f;
}

TfilePtr Tfile::createTempEntry(const QString &base, const QString &name, const Tfile *folder,
                                const DiskEntryInfo &seen)
{
    // A name read from a folder holds no "/": the path then ends with it.
    Q_ASSERT(!name.contains(u'/'));
    const bool named = !name.isEmpty() && base.endsWith(u'/');
    // One allocation of the exact size (operator+ copies the base, then
    // grows the copy).
    QString path(base.size() + name.size(), Qt::Uninitialized);
    std::copy(name.cbegin(), name.cend(), std::copy(base.cbegin(), base.cend(), path.begin()));
    TfilePtr f = createSeen(path, seen, named ? &name : nullptr);
    f->becomeTemp(folder, seen);
    return f;
}

void Tfile::becomeTemp(const Tfile *folder, const DiskEntryInfo &seen)
{
    flags.set(FA_TEMP);
    if (folder) {
        const Tfile *real = folder->isTemp() ? folder->tempFolder_.data() : folder;
        tempFolder_ = TfilePtr(const_cast<Tfile *>(real));
    }
    // What was seen on disk, so that "new" and listings read real values.
    seen_ = seen;
    if (seen.kind == DiskEntry::File)
        size = seen.size;
    if (seen.kind != DiskEntry::None)
        mtime = seen.mtime;
}

TfilePtr Tfile::createVirtualFolder(const QString &name)
{
    TfilePtr f(new Tfile);
    f->icon = -1;
    f->flags = {FA_FOLDER, FA_VIRTUAL, FA_BROWSABLE};
    f->name = name;
    f->atime = f->mtime = now();
    return f;
}

TfilePtr Tfile::createLink(const QString &name)
{
    TfilePtr f(new Tfile);
    f->icon = -1;
    f->name = name;
    f->atime = f->mtime = now();
    f->flags = {FA_VIRTUAL, FA_LINK};
    return f;
}

bool Tfile::same(const Tfile *f) const
{
    // Nodes without a resource (virtual folders) are only the same as themselves.
    return f && (f == this || (!resource.isEmpty() && f->resource == resource));
}

bool Tfile::toggle(TfileAttribute att)
{
    flags.set(att, !flags.has(att));
    return flags.has(att);
}

void Tfile::setName(const QString &newName)
{
    name = newName;
    if (parent_ && vfs_)
        vfs_->resort(this);
}

void Tfile::setResource(QString res)
{
    setResourceNamed(std::move(res), nullptr);
}

void Tfile::setResourceNamed(QString res, const QString *lastComponent)
{
    const TshellLinks &links = TshellLinks::current();
    if (links.isShellLink(res)) {
        QString n = lastPathComponent(withoutTrailingDelimiter(res));
        if (n.endsWith(QLatin1String(".lnk"), Qt::CaseInsensitive))
            n.chop(4);
        name = n;
        lnk = res;
        const QString target = links.resolve(res);
        if (!target.isEmpty())
            res = target;
        flags.set(FA_SOLVED_LNK);
    } else {
        flags.clear(FA_SOLVED_LNK);
    }
    res = withoutTrailingDelimiter(res);
    resource = res;
    // Drive letters do not exist here: a resource is never a "unit".
    flags.clear(FA_UNIT);
    if (!isRoot() && !flags.has(FA_SOLVED_LNK)) {
        if (lastComponent) {
            name = *lastComponent; // the same text, kept without a copy
        } else {
            const QString n = lastPathComponent(res);
            name = n.isEmpty() ? res : n;
        }
    }
    size = -1;
    if (parent_ && vfs_)
        vfs_->resort(this);
}

Tfile *Tfile::parent() const
{
    return isTemp() ? tempFolder_.data() : parent_;
}

Tvfs *Tfile::vfs() const
{
    if (isTemp())
        return tempFolder_ ? tempFolder_->vfs() : nullptr;
    return vfs_;
}

const TvfsSettings &Tfile::vfsSettings() const
{
    static const TvfsSettings defaults;
    const Tvfs *v = vfs();
    return v ? v->settings() : defaults;
}

bool Tfile::isInTree() const
{
    return vfs() != nullptr;
}

void Tfile::setVfsRecursively(Tvfs *v)
{
    vfs_ = v;
    for (const TfilePtr &c : std::as_const(children_))
        c->setVfsRecursively(v);
}

void Tfile::recursiveApply(const TfileCallback &callback)
{
    const TfilePtr self(this); // the callback may remove us
    const auto removeSelf = [this] {
        if (vfs_)
            vfs_->remove(this);
    };
    const TfileCallbackReturn r = callback(*this, false);
    if (r & FCB_DELETE) {
        removeSelf();
        return;
    }
    if (r & FCB_NO_DEEPER)
        return;
    // A copy: the callback may remove children (or the next sibling).
    const QList<TfilePtr> kids = children_;
    for (const TfilePtr &c : kids)
        if (c->parent_ == this)
            c->recursiveApply(callback);
    if ((r & FCB_RECALL_AFTER_CHILDREN) && (callback(*this, true) & FCB_DELETE))
        removeSelf();
}

QString Tfile::getRecursiveFileMask() const
{
    for (const Tfile *f = this; f; f = f->parent())
        if (!f->defaultFileMask.isEmpty())
            return f->defaultFileMask;
    return {};
}

void Tfile::getFiltersRecursively(QString &files, QString &folders) const
{
    files.clear();
    folders.clear();
    for (const Tfile *f = this; f && (files.isEmpty() || folders.isEmpty()); f = f->parent()) {
        if (files.isEmpty())
            files = f->filesFilter;
        if (folders.isEmpty())
            folders = f->foldersFilter;
    }
}

bool Tfile::shouldCountAsDownload() const
{
    if (flags.has(FA_DONT_COUNT_AS_DL))
        return false;
    for (const Tfile *f = this; f; f = f->parent())
        if (!f->dontCountAsDownloadMask.isEmpty()) {
            static TfileMaskMemo memo; // the same few files are downloaded again and again
            return !memo.matches(f->dontCountAsDownloadMask, name);
        }
    return true;
}

QString Tfile::getShownRealm() const
{
    for (const Tfile *f = this; f; f = f->parent())
        if (!f->realm.isEmpty())
            return f->realm;
    if (!vfsSettings().useCommentAsRealm)
        return {};
    const Tvfs *v = vfs();
    if (v && v->dynamicComment())
        return v->dynamicComment()(*this);
    return comment;
}

bool Tfile::hasRecursive(TfileAttributes attributes, bool orInsteadOfAnd, bool *outInherited) const
{
    for (const Tfile *f = this; f; f = f->parent()) {
        const bool holds = orInsteadOfAnd ? f->flags.hasAny(attributes) : f->flags.hasAll(attributes);
        if (holds) {
            if (outInherited)
                *outInherited = f != this;
            return true;
        }
    }
    if (outInherited)
        *outInherited = false;
    return false;
}

bool Tfile::hasRecursive(TfileAttribute attribute, bool *outInherited) const
{
    return hasRecursive(TfileAttributes{attribute}, false, outInherited);
}

int Tfile::downloadCount() const
{
    if (!isFolder()) {
        if (isTemp()) {
            const Tvfs *v = vfs();
            return v ? v->tempDownloadCount(resource) : 0;
        }
        return ownDownloads;
    }
    qint64 sum = 0;
    if (!isTemp())
        for (const TfilePtr &c : children_)
            sum += c->isFolder() ? c->downloadCount() : c->ownDownloads;
    const Tvfs *v = vfs();
    if (isRealFolder() && v && !resource.isEmpty()) {
        // Only files inside this folder: "/a" must not count "/ab/x".
        const QString prefix = resource.endsWith(u'/') ? resource : resource + u'/';
        for (auto it = v->tempDownloadCounts().cbegin(); it != v->tempDownloadCounts().cend(); ++it)
            if (it.key() == resource || it.key().startsWith(prefix))
                sum += it.value();
    }
    return int(std::clamp<qint64>(sum, INT_MIN, INT_MAX));
}

void Tfile::setDownloadCount(int count)
{
    if (isTemp()) {
        if (Tvfs *v = vfs())
            v->setTempDownloadCount(resource, count);
        return;
    }
    ownDownloads = count;
}

void Tfile::countDownload()
{
    if (isTemp()) {
        if (Tvfs *v = vfs())
            v->countTempDownload(resource);
        return;
    }
    if (ownDownloads < INT_MAX)
        ++ownDownloads;
}

bool Tfile::isDLforbidden() const
{
    if (flags.has(FA_DL_FORBIDDEN))
        return true;
    const Tfile *p = isTemp() ? parent() : nullptr;
    return p && p->flags.has(FA_DL_FORBIDDEN);
}

bool Tfile::isNew() const
{
    const qint64 n = vfsSettings().filesStayFlaggedForMinutes;
    if (n <= 0)
        return false;
    const double ref = isTemp() ? mtime : atime;
    // Whole minutes, truncated; the tiny margin absorbs rounding of day counts.
    const double minutes = std::floor(std::fabs(now() - ref) * 24 * 60 + 1e-6);
    return minutes <= double(n);
}

static bool lockedBelow(const Tfile &f)
{
    for (const TfilePtr &c : f.children())
        if (c->locked || lockedBelow(*c))
            return true;
    return false;
}

bool Tfile::isLocked() const
{
    for (const Tfile *f = this; f; f = f->parent())
        if (f->locked)
            return true;
    return lockedBelow(*this);
}

namespace {

// For each piece of `mask` in order (an inverted mask is one piece), the
// names in `folder` it matches, sorted so that a wildcard picks the same
// entry every time.
QList<QStringList> listNamesMatching(const QString &folder, const QString &mask)
{
    QStringList pieces = mask.startsWith(u'\\') ? QStringList{mask} : mask.split(u';');
    pieces.removeAll(QString());
    QList<QStringList> matches(pieces.size());
    forEachDiskName(folder, [&](const QString &name, int) {
        for (qsizetype i = 0; i < pieces.size(); ++i)
            if (matchFileMask(pieces[i], name))
                matches[i].append(name);
    });
    for (QStringList &names : matches)
        std::sort(names.begin(), names.end());
    return matches;
}

// Every request for a folder looks for its default file: the names are
// remembered while the folder's entries stay the same. Timestamps advance in
// coarse steps, so only a folder unchanged for a few seconds is remembered;
// after that any new, removed or renamed entry gives it a later time.
QList<QStringList> namesMatchingMask(const QString &folder, const QString &mask, const DiskEntryInfo &info)
{
    struct Tknown
    {
        quint64 device, inode;
        qint64 mtimeNs, ctimeNs;
        QList<QStringList> matches;
    };
    static QHash<QString, Tknown> known;
    const QString key = folder + QChar(0) + mask;
    const auto it = known.constFind(key);
    if (it != known.cend() && it->device == info.device && it->inode == info.inode
        && it->mtimeNs == info.mtimeNs && it->ctimeNs == info.ctimeNs)
        return it->matches;
    QList<QStringList> matches = listNamesMatching(folder, mask);
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    const qint64 nowNs = qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    if (nowNs - qMax(info.mtimeNs, info.ctimeNs) >= 2'000'000'000) {
        if (known.size() >= 256)
            known.clear();
        known.insert(key, {info.device, info.inode, info.mtimeNs, info.ctimeNs, matches});
    } else {
        known.remove(key);
    }
    return matches;
}

} // namespace

TfilePtr Tfile::getDefaultFile() const
{
    const QString mask = getRecursiveFileMask();
    if (mask.isEmpty())
        return {};
    if (!isTemp())
        for (const TfilePtr &c : children_)
            if (c->isFile() && matchFileMask(mask, c->name)
                && diskEntryKind(c->resource) == DiskEntry::File)
                return c;
    if (!isRealFolder() || resource.isEmpty())
        return {};
    const DiskEntryInfo folderInfo = diskEntryInfo(resource);
    if (folderInfo.kind != DiskEntry::Folder)
        return {};
    const QString base = resource.endsWith(u'/') ? resource : resource + u'/';
    for (const QStringList &names : namesMatchingMask(resource, mask, folderInfo))
        for (const QString &e : names)
            if (diskEntryKind(base + e) == DiskEntry::File)
                return createTemp(base + e, this);
    return {};
}

int Tfile::getSystemIcon() const
{
    if (icon >= 0)
        return icon;
    if (isFile())
        for (const TiconMask &m : vfsSettings().iconMasks)
            if (matchFileMask(m.mask, name))
                return m.index;
    const Tvfs *v = vfs();
    return v && v->systemIcon() ? v->systemIcon()(*this) : -1;
}

qint64 Tfile::diskfree() const
{
    if (flags.has(FA_VIRTUAL) || resource.isEmpty())
        return flags.has(FA_VIRTUAL) ? 0 : -1;
    QString dir = resource;
    while (diskEntryKind(dir) != DiskEntry::Folder) {
        const qsizetype cut = dir.lastIndexOf(u'/');
        if (cut < 0)
            return -1;
        dir = cut == 0 ? QStringLiteral("/") : dir.left(cut);
    }
    // statvfs alone: QStorageInfo would also look the mount up in
    // /proc/self/mountinfo, which costs more than the page line it feeds.
    struct statvfs st;
    if (::statvfs(QFile::encodeName(dir).constData(), &st) != 0)
        return -1;
    return qint64(st.f_bavail) * qint64(st.f_frsize);
}

bool freeIfTemp(TfilePtr &f)
{
    if (!f || !f->isTemp())
        return false;
    f.reset();
    return true;
}
