#include "vfs/vfs.h"

#include "vfs/account.h"
#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/masks.h"
#include "util/service.h"

#include <QLocale>

#include <algorithm>
#include <climits>

Tvfs::Tvfs()
    : collator_(QLocale())
{
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
    resetVFS();
}

Tvfs::~Tvfs()
{
    // Nodes still held elsewhere must not reach back into a dead tree.
    if (root_)
        root_->setVfsRecursively(nullptr);
}

Tvfs &Tvfs::instance()
{
    return Tservice<Tvfs>::get();
}

void Tvfs::setSettings(const TvfsSettings &s)
{
    const bool resortNeeded = s.foldersBefore != settings_.foldersBefore;
    settings_ = s;
    if (resortNeeded)
        sortChildren(root(), true);
}

const Taccounts &Tvfs::accounts() const
{
    return accounts_ ? *accounts_ : Taccounts::global();
}

void Tvfs::setAccounts(const Taccounts *accounts)
{
    accounts_ = accounts;
}

int Tvfs::compareSiblings(const Tfile &a, const Tfile &b) const
{
    if (settings_.foldersBefore && a.isFolder() != b.isFolder())
        return a.isFolder() ? -1 : 1;
    return collator_.compare(a.name, b.name);
}

void Tvfs::sortAsSiblings(QList<TfilePtr> &nodes) const
{
    // One key per node: a large folder is sorted without a collation per comparison.
    struct Tkeyed {
        bool folder;
        QCollatorSortKey key;
        TfilePtr node;
    };
    QList<Tkeyed> keyed;
    keyed.reserve(nodes.size());
    for (const TfilePtr &f : std::as_const(nodes))
        keyed.append({settings_.foldersBefore && f->isFolder(), collator_.sortKey(f->name), f});
    std::stable_sort(keyed.begin(), keyed.end(), [](const Tkeyed &a, const Tkeyed &b) {
        if (a.folder != b.folder)
            return a.folder;
        return a.key.compare(b.key) < 0;
    });
    for (qsizetype i = 0; i < nodes.size(); ++i)
        nodes[i] = keyed[i].node;
}

void Tvfs::insertSorted(Tfile *parent, const TfilePtr &f)
{
    QList<TfilePtr> &kids = parent->children_;
    // Additions in tree order (a disk folder filled in) land last: no search.
    if (kids.isEmpty() || compareSiblings(*kids.last(), *f) <= 0) {
        kids.append(f);
        return;
    }
    // After any equal names, so that the first added stays first.
    const auto at = std::upper_bound(kids.begin(), kids.end(), f, [this](const TfilePtr &x, const TfilePtr &y) {
        return compareSiblings(*x, *y) < 0;
    });
    kids.insert(at, f);
}

void Tvfs::sortChildren(Tfile *folder, bool recursive)
{
    if (!folder)
        return;
    std::stable_sort(folder->children_.begin(), folder->children_.end(),
                     [this](const TfilePtr &x, const TfilePtr &y) { return compareSiblings(*x, *y) < 0; });
    if (observer_)
        observer_->nodeChanged(*folder);
    if (recursive)
        for (const TfilePtr &c : std::as_const(folder->children_))
            sortChildren(c.data(), true);
}

Tfile *Tvfs::add(const TfilePtr &f, Tfile *parent, bool checkName)
{
    if (!f || f->isTemp() || f->isRoot() || f->parent_ || f->vfs_)
        return nullptr;
    if (!parent)
        parent = root();
    while (parent && !parent->isFolder())
        parent = parent->parent();
    if (!parent || parent->isTemp() || parent->vfs_ != this)
        return nullptr;
    if (checkName)
        for (const TfilePtr &c : std::as_const(parent->children_))
            if (sameText(c->name, f->name))
                return nullptr;
    insertSorted(parent, f);
    f->parent_ = parent;
    f->setVfsRecursively(this);
    modified_ = true;
    if (observer_)
        observer_->nodeAdded(*f);
    return f.data();
}

void Tvfs::resort(Tfile *f)
{
    Tfile *p = f ? f->parent_ : nullptr;
    if (!p)
        return;
    const TfilePtr keep(f);
    p->children_.removeOne(keep);
    insertSorted(p, keep);
    modified_ = true;
    if (observer_)
        observer_->nodeChanged(*f);
}

bool Tvfs::remove(Tfile *f)
{
    if (!f || f->isRoot() || f->isTemp() || f->vfs_ != this || !f->parent_)
        return false;
    const TfilePtr keep(f);
    if (observer_)
        observer_->nodeRemoving(*f);
    // What the rest of the program keeps about nodes of this subtree.
    f->recursiveApply([this](Tfile &n, bool) {
        if (!n.accounts[FA_UPLOAD].isEmpty() && !n.resource.isEmpty())
            uploadFolders.removeAll(n.resource);
        if (!n.user.isEmpty())
            usersInVFS.drop(n.user, n.pwd);
        return 0;
    });
    detach(f);
    modified_ = true;
    return true;
}

bool Tvfs::moveTo(Tfile *f, Tfile *folder)
{
    if (!f || f->isRoot() || f->isTemp() || f->vfs_ != this || !f->parent_)
        return false;
    if (!folder || !folder->isFolder() || folder->isTemp() || folder->vfs_ != this)
        return false;
    for (const Tfile *up = folder; up; up = up->parent_)
        if (up == f)
            return false;
    const TfilePtr keep(f);
    if (observer_)
        observer_->nodeRemoving(*f);
    f->parent_->children_.removeOne(keep);
    insertSorted(folder, keep);
    f->parent_ = folder;
    modified_ = true;
    if (observer_)
        observer_->nodeAdded(*f);
    return true;
}

void Tvfs::detach(Tfile *f)
{
    const TfilePtr keep(f);
    f->parent_->children_.removeOne(keep);
    f->parent_ = nullptr;
    f->setVfsRecursively(nullptr);
}

void Tvfs::removeChildren(Tfile *f)
{
    if (!f || f->vfs_ != this)
        return;
    const QList<TfilePtr> kids = f->children_;
    for (const TfilePtr &c : kids)
        remove(c.data());
}

void Tvfs::resetVFS()
{
    uploadFolders.clear();
    if (root_)
        root_->setVfsRecursively(nullptr);
    root_ = Tfile::createVirtualFolder(QStringLiteral("/"));
    root_->flags.set(FA_ROOT);
    root_->flags.set(FA_ARCHIVABLE);
    root_->dontCountAsDownloadMask = QStringLiteral("*.htm;*.html;*.css");
    root_->defaultFileMask = QStringLiteral("index.html;index.htm;default.html;default.htm");
    root_->vfs_ = this;
    usersInVFS.reset();
    tempDownloadCounts_.clear();
    modified_ = false;
    countersChanged_ = false;
    lastFileName.clear();
    if (observer_)
        observer_->treeReset();
}

void Tvfs::resetHits()
{
    root_->recursiveApply([](Tfile &f, bool) {
        f.ownDownloads = 0;
        return 0;
    });
    tempDownloadCounts_.clear();
}

void Tvfs::setTempDownloadCount(const QString &path, int count)
{
    if (path.isEmpty())
        return;
    tempDownloadCounts_.insert(path, count);
}

void Tvfs::countTempDownload(const QString &path)
{
    if (path.isEmpty())
        return;
    int &count = tempDownloadCounts_[path];
    if (count < INT_MAX)
        ++count;
}

void Tvfs::bindRoot(const QString &folder)
{
    root_->setResource(folder);
    root_->flags.clear(FA_VIRTUAL);
    modified_ = true;
}

void Tvfs::unbindRoot()
{
    uploadFolders.removeAll(root_->resource);
    root_->resource.clear();
    root_->uploadFilterMask.clear();
    root_->accounts[FA_UPLOAD].clear();
    root_->flags.set(FA_VIRTUAL);
    modified_ = true;
}

void Tvfs::flagAsNew(const QList<Tfile *> &nodes)
{
    const double t = now();
    for (Tfile *f : nodes)
        if (f)
            f->atime = t;
    if (!nodes.isEmpty())
        modified_ = true;
}

void Tvfs::resetNewFlag(const QList<Tfile *> &nodes)
{
    const double t = now() - double(settings_.filesStayFlaggedForMinutes + 1) / (24 * 60);
    for (Tfile *f : nodes)
        if (f)
            f->recursiveApply([t](Tfile &n, bool) {
                n.atime = t;
                return 0;
            });
    if (!nodes.isEmpty())
        modified_ = true;
}
