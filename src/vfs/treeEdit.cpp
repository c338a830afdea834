#include "vfs/treeEdit.h"

#include "util/asciiCase.h"
#include "util/prompt.h"
#include "vfs/diskEntry.h"
#include "vfs/fileListing.h"
#include "vfs/treeAdd.h"
#include "vfs/treeNames.h"
#include "vfs/vfs.h"


#include <QScopeGuard>

#include <algorithm>

namespace {

// The nearest folder at or above `f`.
Tfile *folderOf(Tfile *f)
{
    while (f && !f->isFolder())
        f = f->parent();
    return f;
}

bool isBelow(const Tfile *f, const Tfile *ancestor)
{
    for (const Tfile *up = f ? f->parent() : nullptr; up; up = up->parent())
        if (up == ancestor)
            return true;
    return false;
}

QString lastPathPart(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

TtreeEditor::TtreeEditor(Tvfs &vfs, Tprompt &ask)
    : vfs_(vfs), ask_(ask)
{
}

bool TtreeEditor::askClash()
{
    return ask_.question(MSG_NAME_CLASH, PB_YES | PB_NO, PB_NO) == PB_YES;
}

bool TtreeEditor::rename(Tfile *f, const QString &newName)
{
    if (!f || f->isRoot() || f->isTemp() || f->vfs() != &vfs_)
        return false;
    const QString name = newName.trimmed();
    if (name == f->name)
        return false;
    if (!(f->isLink() ? validLinkName(name) : validNodeName(name))) {
        ask_.message(MSG_INVALID_FILENAME, PK_ERROR);
        return false;
    }
    Tfile *folder = f->parent();
    // A change of letter case alone clashes with the node's own old name.
    if ((sameText(f->name, name) || childNamed(folder, name, f)) && !askClash())
        return false;
    f->setName(freeChildName(folder, name, f));
    vfs_.setModified(true);
    return true;
}

bool TtreeEditor::canMove(const QList<Tfile *> &selection, Tfile *dropOn) const
{
    Tfile *target = folderOf(dropOn);
    if (selection.isEmpty() || !target || target->vfs() != &vfs_)
        return false;
    for (const Tfile *s : selection) {
        if (!s || s->isRoot() || s->isTemp() || s->vfs() != &vfs_ || s->isLocked())
            return false;
        if (s == target || s->parent() == target || isBelow(target, s))
            return false;
    }
    return true;
}

bool TtreeEditor::move(const QList<Tfile *> &selection, Tfile *dropOn)
{
    if (!canMove(selection, dropOn))
        return false;
    Tfile *target = folderOf(dropOn);
    QList<TfilePtr> tops;
    for (Tfile *s : selection)
        if (std::none_of(selection.cbegin(), selection.cend(), [s](const Tfile *o) { return isBelow(s, o); }))
            tops << TfilePtr(s);
    const bool clash = std::any_of(tops.cbegin(), tops.cend(),
                                   [target](const TfilePtr &s) { return childNamed(target, s->name) != nullptr; });
    if (clash && !askClash())
        return false;
    for (const TfilePtr &s : std::as_const(tops)) {
        // Taken before the move, so the node does not count itself.
        s->name = freeChildName(target, s->name);
        vfs_.moveTo(s.data(), target);
    }
    vfs_.setModified(true);
    return true;
}

bool TtreeEditor::remove(Tfile *f)
{
    if (!f || f->isRoot() || f->isTemp() || f->vfs() != &vfs_)
        return false;
    if (f->isLocked()) {
        ask_.message(MSG_ITEM_LOCKED, PK_WARNING);
        return false;
    }
    return vfs_.remove(f);
}

int TtreeEditor::removeSelection(const QList<Tfile *> &selection)
{
    // Held: removing a node frees the selected nodes below it.
    QList<TfilePtr> held;
    for (Tfile *s : selection)
        if (s && !s->isTemp() && s->vfs() == &vfs_)
            held << TfilePtr(s);
    if (held.isEmpty() || (held.size() == 1 && held.first()->isRoot()))
        return 0;
    if (!vfs_.settings().deleteDontAsk && ask_.question(MSG_DELETE, PB_YES | PB_NO, PB_NO) != PB_YES)
        return 0;
    // A node goes with a selected one above it, unless that one stays.
    const auto goesWithAnother = [&held](const Tfile *s) {
        return std::any_of(held.cbegin(), held.cend(), [s](const TfilePtr &o) {
            return !o->isRoot() && !o->isLocked() && isBelow(s, o.data());
        });
    };
    QList<TfilePtr> own;
    for (const TfilePtr &s : std::as_const(held))
        if (!s->isRoot() && !goesWithAnother(s.data()))
            own << s;
    int removed = 0, skipped = 0;
    for (const TfilePtr &s : std::as_const(own)) {
        if (s->isLocked())
            ++skipped;
        else if (vfs_.remove(s.data()))
            ++removed;
    }
    if (skipped)
        ask_.message(MSG_SOME_LOCKED, PK_WARNING);
    return removed;
}

int TtreeEditor::toVirtualFolders(const QList<Tfile *> &selection)
{
    const QList<TfilePtr> held(selection.cbegin(), selection.cend());
    int converted = 0, skipped = 0;
    for (const TfilePtr &s : held) {
        if (!s || !s->isRealFolder() || s->isRoot() || s->isTemp() || s->vfs() != &vfs_)
            continue;
        if (s->isLocked()) {
            ++skipped;
            continue;
        }
        TfilePtr fresh = Tfile::create(s->resource);
        // Without its disk folder there is nothing to make it from.
        if (!fresh->isFolder())
            continue;
        fresh->flags.set(FA_VIRTUAL);
        fresh->icon = s->icon;
        Tfile *parent = s->parent();
        vfs_.remove(s.data());
        fresh->name = freeChildName(parent, fresh->name);
        // Made as an addition: filled from the disk the way added folders
        // are, with saving and loading held meanwhile.
        if (TtreeAdder(vfs_).addFromDisk(fresh, parent))
            ++converted;
    }
    if (skipped)
        ask_.message(MSG_SOME_LOCKED, PK_WARNING);
    return converted;
}

int TtreeEditor::toRealFolders(const QList<Tfile *> &selection)
{
    const QList<TfilePtr> held(selection.cbegin(), selection.cend());
    int converted = 0, skipped = 0;
    for (const TfilePtr &s : held) {
        if (!s || !s->isVirtualFolder() || s->isRoot() || s->resource.isEmpty() || s->vfs() != &vfs_)
            continue;
        if (s->isLocked()) {
            ++skipped;
            continue;
        }
        s->flags.clear(FA_VIRTUAL);
        vfs_.removeChildren(s.data());
        s->setResource(s->resource);
        s->setName(freeChildName(s->parent(), s->name, s.data()));
        ++converted;
    }
    if (converted)
        vfs_.setModified(true);
    if (skipped)
        ask_.message(MSG_SOME_LOCKED, PK_WARNING);
    return converted;
}

bool TtreeEditor::bindRoot(const QString &folder)
{
    if (!vfs_.root()->isVirtualFolder() || diskEntryKind(folder) != DiskEntry::Folder)
        return false;
    vfs_.bindRoot(folder);
    return true;
}

bool TtreeEditor::unbindRoot()
{
    if (!vfs_.root()->isRealFolder())
        return false;
    vfs_.unbindRoot();
    return true;
}

bool TtreeEditor::editResource(Tfile *f, const QString &newPath)
{
    if (!f || !(f->isFile() || f->isRealFolder()) || f->isTemp() || f->vfs() != &vfs_)
        return false;
    QString path = newPath;
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    if (path.isEmpty())
        return false;
    const QString oldResource = f->resource;
    const QString ownName = f->name;
    const bool named = ownName != lastPathPart(oldResource);
    f->setResource(path);
    if (named)
        f->name = ownName;
    if (!f->isRoot())
        f->name = freeChildName(f->parent(), f->name, f);
    if (!f->accounts[FA_UPLOAD].isEmpty() && vfs_.uploadFolders.removeAll(oldResource))
        vfs_.uploadFolders << f->resource;
    vfs_.resort(f);
    vfs_.setModified(true);
    return true;
}

bool TtreeEditor::setUserPass(const QList<Tfile *> &selection, const Tfile *current)
{
    if (selection.isEmpty())
        return false;
    const bool links = std::any_of(selection.cbegin(), selection.cend(), [](const Tfile *f) { return f && f->isLink(); });
    if (links && ask_.question(MSG_LINKS_UNPROTECTED, PB_YES | PB_NO, PB_NO) != PB_YES)
        return false;
    if (!current)
        current = selection.first();
    const auto got = ask_.askCredentials({current ? current->user : QString(), current ? current->pwd : QString()});
    if (!got)
        return false;
    for (Tfile *f : selection) {
        if (!f || f->isTemp() || f->vfs() != &vfs_)
            continue;
        if (!f->user.isEmpty())
            vfs_.usersInVFS.drop(f->user, f->pwd);
        f->user = got->user;
        f->pwd = got->password;
        if (!f->user.isEmpty())
            vfs_.usersInVFS.track(f->user, f->pwd);
    }
    vfs_.setModified(true);
    return true;
}

void TtreeEditor::resetUserPass(const QList<Tfile *> &selection)
{
    for (Tfile *f : selection) {
        if (!f || f->isTemp() || f->vfs() != &vfs_)
            continue;
        if (!f->user.isEmpty())
            vfs_.usersInVFS.drop(f->user, f->pwd);
        f->user.clear();
        f->pwd.clear();
    }
    if (!selection.isEmpty())
        vfs_.setModified(true);
}

void TtreeEditor::flagAsNew(const QList<Tfile *> &selection)
{
    vfs_.flagAsNew(selection);
}

void TtreeEditor::resetNewFlag(const QList<Tfile *> &selection)
{
    vfs_.resetNewFlag(selection);
}

int TtreeEditor::purge(Tfile *from, const TpurgeChoices &choices)
{
    Tfile *start = from ? from : vfs_.root();
    TaddingState &s = vfs_.adding();
    if (!start || start->vfs() != &vfs_ || s.running())
        return 0;
    // Children before their folder, so that a folder the walk empties is
    // seen empty. The nodes are held: looking at the disk lets the event
    // loop run, and whatever runs meanwhile cannot free them.
    QList<TfilePtr> order;
    QList<std::pair<TfilePtr, qsizetype>> stack{{TfilePtr(start), 0}};
    while (!stack.isEmpty()) {
        auto &[node, next] = stack.last();
        if (next < node->children().size()) {
            const TfilePtr child = node->children().at(next++);
            stack.append({child, 0});
        } else {
            order.append(node);
            stack.removeLast();
        }
    }
    // Held like an addition: saving and loading wait, the abort button stops it.
    s.counter = 0;
    s.abortRequested = false;
    const auto idle = qScopeGuard([&s] {
        s.counter = -1;
        s.abortRequested = false;
        s.closing = false;
    });
    int removed = 0;
    for (const TfilePtr &n : std::as_const(order)) {
        if (++s.counter % 256 == 0)
            letEventLoopRun();
        if (s.stopping())
            break;
        if (n->isRoot() || n->isLocked() || !n->isInTree() || n->vfs() != &vfs_)
            continue;
        const bool gone = n->isFile() ? choices.missingFiles && diskEntryKind(n->resource) == DiskEntry::None
            : n->isRealFolder()       ? choices.missingRealFolders && diskEntryKind(n->resource) != DiskEntry::Folder
            : n->isVirtualFolder()    ? choices.emptyFolders && n->children().isEmpty()
                                      : false;
        if (gone && vfs_.remove(n.data()))
            ++removed;
    }
    if (removed)
        vfs_.setModified();
    return removed;
}
