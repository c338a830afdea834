#include "vfs/treeAdd.h"

#include "vfs/account.h"
#include "vfs/comments.h"
#include "vfs/diskEntry.h"
#include "vfs/editOutlets.h"
#include "vfs/fileListing.h"
#include "vfs/fingerprint.h"
#include "vfs/treeNames.h"
#include "vfs/vfs.h"
#include "util/asciiCase.h"
#include "util/prompt.h"

#include <QScopeGuard>

const QString MSG_ADD_ABORTED = QStringLiteral("File addition was aborted.\rThe list of files is incomplete.");
const QString MSG_ADD_COMMENT =
    QStringLiteral("Please insert a comment for \"%1\".\rYou should use HTML: <br> for break line.");
const QString MSG_ADD_COMMENT_TITLE = QStringLiteral("Comment");
const QString MSG_ADD_STATUS = QStringLiteral("Adding item #%1");
const QString MSG_INSTALL_TEMPLATE = QStringLiteral("Install this template?");
const QString MSG_UPLOAD_FOLDER = QStringLiteral("Do you want ANYONE to be able to upload to this folder?");
const QString MSG_NAMES_EXIST = QStringLiteral("%1 item(s) already exists:\r%2\r\rContinue?");
const QString MSG_FOLDER_KIND_TITLE = QStringLiteral("What kind of folder do you want?");
const QStringList MSG_FOLDER_KIND_LINES = {
    QStringLiteral("A real folder is faster, good for big folders"),
    QStringLiteral("A virtual folder is easier, good for small folders"),
    QStringLiteral("Not sure? Hint: most time you need real folders!"),
};
const QStringList MSG_FOLDER_KIND_BUTTONS = {QStringLiteral("Real folder"), QStringLiteral("Virtual folder")};
const QString MSG_LINK_URL = QStringLiteral("Please insert an URL for the link\r\rDo not forget to specify http:// "
                                            "or whatever.\r%ip% will be translated to your address");
const QString MSG_LINK_URL_TITLE = QStringLiteral("Set URL");
const QString MSG_MANY_ITEMS = QStringLiteral("You are putting many files.\rTry using real folders instead of "
                                              "virtual folders.\rRead documentation or ask on the forum for help.");

namespace {

constexpr int kItemsPerEventLoopRun = 16;
constexpr int kManyItems = 1000;
constexpr int kMaxClashesListed = 50;
// Entries read or prepared between two chances for the event loop while a
// large disk folder is taken in.
constexpr int kEntriesPerEventLoopRun = 256;

QString lastComponent(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    return name.isEmpty() ? path : name;
}

QStringList linesOf(const QString &text)
{
    QStringList out;
    for (QString line : text.split(u'\n')) {
        line = line.trimmed();
        if (!line.isEmpty())
            out.append(line);
    }
    return out;
}

int countNodes(const Tfile &f, int stopAbove)
{
    int n = 1;
    for (const TfilePtr &c : f.children()) {
        if (n > stopAbove)
            break;
        n += countNodes(*c, stopAbove - n);
    }
    return n;
}

} // namespace

QString linkUrlFromInput(const QString &typed)
{
    if (typed.contains(u'@') && !typed.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)
        && !typed.contains(QLatin1String("://")) && !typed.contains(u'/'))
        return QStringLiteral("mailto:") + typed;
    return typed;
}

struct TtreeAdder::TonDisk
{
    quint64 device = 0;
    quint64 inode = 0;
    const TonDisk *up = nullptr;

    bool holds(const DiskEntryInfo &info) const
    {
        for (const TonDisk *d = this; d; d = d->up)
            if (d->device == info.device && d->inode == info.inode)
                return true;
        return false;
    }
};

Tfile *TtreeAdder::folderOf(Tfile *node) const
{
    Tfile *t = node ? node : vfs_.root();
    while (t && !t->isFolder())
        t = t->parent();
    return t ? t : vfs_.root();
}

QString TtreeAdder::uniqueName(const QString &name, Tfile *target) const
{
    return freeChildName(folderOf(target), name);
}

void TtreeAdder::countItem()
{
    TaddingState &s = vfs_.adding();
    if (!s.running())
        return;
    if (++s.counter % kItemsPerEventLoopRun != 0)
        return;
    if (editOutlets().statusText)
        editOutlets().statusText(MSG_ADD_STATUS.arg(s.counter));
    letEventLoopRun();
}

Tfile *TtreeAdder::addRecursive(const TfilePtr &f, Tfile *target, QSet<QString> *takenNames, const TonDisk *above)
{
    if (vfs_.adding().stopping())
        return nullptr;
    // Held across the event loop: whatever runs meanwhile cannot free it.
    const TfilePtr keepTarget(target ? target : vfs_.root());
    countItem();
    if (vfs_.adding().stopping() || !keepTarget->isInTree())
        return nullptr;
    Tfile *folder = folderOf(keepTarget.data());
    const QString key = asciiLower(f->name);
    if (takenNames ? takenNames->contains(key) : childNamed(folder, f->name) != nullptr)
        return nullptr;
    Tfile *added = vfs_.add(f, folder, false);
    if (!added)
        return nullptr;
    if (takenNames)
        takenNames->insert(key);

    const TvfsSettings &s = vfs_.settings();
    if (added->isFile() && s.enableFingerprints && s.autoFingerprint > 0)
        autoFingerprint(added->resource, diskEntryInfo(added->resource).size);
    if (added->isVirtualFolder() && !added->resource.isEmpty())
        fillFromDisk(*added, above);
    return added;
}

void TtreeAdder::fillFromDisk(Tfile &folder, const TonDisk *above)
{
    const DiskEntryInfo self = diskEntryInfo(folder.resource);
    if (self.kind != DiskEntry::Folder || (above && above->holds(self)))
        return;
    const TonDisk here{self.device, self.inode, above};
    const TfilePtr keep(&folder);

    // Only regular files and folders, and no folder that leads back up the
    // path being filled (a symbolic-link loop).
    struct Tentry
    {
        QString name;
        bool isFolder;
    };
    QList<Tentry> entries;
    int seen = 0;
    forEachDiskName(folder.resource, [&](const QString &name, int fd) {
        if (++seen % kEntriesPerEventLoopRun == 0)
            letEventLoopRun();
        if (isHiddenName(name) || isFingerprintFile(name) || isCommentFile(name))
            return;
        const DiskEntryInfo info = diskEntryInfoAt(fd, name);
        if (info.kind == DiskEntry::File || (info.kind == DiskEntry::Folder && !here.holds(info)))
            entries.append({name, info.kind == DiskEntry::Folder});
    });

    QList<TfilePtr> nodes;
    nodes.reserve(entries.size());
    for (const Tentry &e : std::as_const(entries)) {
        if (nodes.size() % kEntriesPerEventLoopRun == 0) {
            letEventLoopRun();
            if (vfs_.adding().stopping())
                return;
        }
        TfilePtr node = Tfile::create(folder.resource + u'/' + e.name);
        if (node->isFolder() != e.isFolder)
            continue; // changed on disk meanwhile
        if (node->isFolder())
            node->flags.set(FA_VIRTUAL);
        nodes.append(node);
    }
    entries.clear();
    vfs_.sortAsSiblings(nodes);

    QSet<QString> taken;
    for (const TfilePtr &c : folder.children())
        taken.insert(asciiLower(c->name));
    for (const TfilePtr &node : std::as_const(nodes)) {
        if (vfs_.adding().stopping() || !folder.isInTree())
            return;
        addRecursive(node, &folder, &taken, &here);
    }
}

Tfile *TtreeAdder::addFromDisk(const TfilePtr &f, Tfile *parent)
{
    TaddingState &s = vfs_.adding();
    const bool ownCounter = !s.running();
    if (ownCounter)
        s.counter = 0;
    Tfile *added = addRecursive(f, parent, nullptr, nullptr);
    if (ownCounter) {
        s.counter = -1;
        s.abortRequested = false;
        s.closing = false;
    }
    return added;
}

Tfile *TtreeAdder::addFile(const TfilePtr &f, Tfile *parent, bool skipComment)
{
    TeditOutlets &out = editOutlets();
    TaddingState &s = vfs_.adding();
    if (out.showAbortButton)
        out.showAbortButton(true);
    s.abortRequested = false;
    Tfile *added = addRecursive(f, parent, nullptr, nullptr);
    if (out.showAbortButton)
        out.showAbortButton(false);
    if (s.stopping())
        prompt().message(MSG_ADD_ABORTED, PK_WARNING);
    if (!added)
        return nullptr;
    if (out.selectNode)
        out.selectNode(added);
    if (!skipComment && vfs_.settings().autoComment) {
        if (out.bringToFront)
            out.bringToFront();
        const TfilePtr keep(added);
        if (const auto c = prompt().askText(MSG_ADD_COMMENT.arg(added->name), MSG_ADD_COMMENT_TITLE, added->comment))
            added->comment = *c;
    }
    return added;
}

Tfile *TtreeAdder::addDroppedPaths(const QString &paths, Tfile *target)
{
    const QStringList lines = linesOf(paths);
    if (lines.isEmpty())
        return nullptr;
    TeditOutlets &out = editOutlets();
    bool anyoneUploads = false;
    if (lines.size() == 1) {
        const QString &p = lines.first();
        if (p.endsWith(QLatin1String(".tpl"), Qt::CaseInsensitive)
            && prompt().question(MSG_INSTALL_TEMPLATE, PB_YES | PB_NO, PB_NO) == PB_YES) {
            if (out.installTemplate)
                out.installTemplate(p);
            return nullptr;
        }
        if (asciiLower(lastComponent(p)).contains(QLatin1String("upload")))
            anyoneUploads = prompt().question(MSG_UPLOAD_FOLDER, PB_YES | PB_NO, PB_NO) == PB_YES;
    }

    Tfile *folder = folderOf(target);
    QStringList clashes;
    for (const QString &p : lines) {
        const QString name = lastComponent(p);
        if (childNamed(folder, name) && clashes.size() <= kMaxClashesListed)
            clashes.append(name);
        if (clashes.size() > kMaxClashesListed)
            break;
    }
    // Continuing only adds numbered names: nothing present is touched.
    if (!clashes.isEmpty()) {
        const QString count =
            clashes.size() > kMaxClashesListed ? QStringLiteral("50+") : QString::number(clashes.size());
        if (prompt().question(MSG_NAMES_EXIST.arg(count, clashes.join(QStringLiteral(", "))), PB_YES | PB_NO,
                              PB_YES)
            != PB_YES)
            return nullptr;
    }

    QString kind = anyoneUploads ? QStringLiteral("real") : asciiLower(vfs_.settings().addFolderDefault);
    TaddingState &s = vfs_.adding();
    s.counter = 0;
    s.abortRequested = false; // a request belongs to the addition it stopped
    const auto idle = qScopeGuard([&s] {
        s.counter = -1;
        s.abortRequested = false;
        s.closing = false;
    });
    const TfilePtr keepFolder(folder);
    TfilePtr last;
    for (const QString &p : lines) {
        if (s.stopping() || !folder->isInTree())
            break;
        const DiskEntry onDisk = diskEntryKind(p);
        if (onDisk != DiskEntry::File && onDisk != DiskEntry::Folder) {
            prompt().message(QStringLiteral("Not added (neither a file nor a folder): ") + p, PK_WARNING);
            continue;
        }
        TfilePtr f = Tfile::create(p);
        if (f->isFolder() && kind != u"real" && kind != u"virtual") {
            const int choice = prompt().choose(MSG_FOLDER_KIND_TITLE, MSG_FOLDER_KIND_LINES, MSG_FOLDER_KIND_BUTTONS, 0);
            if (choice < 0)
                break;
            kind = choice == 0 ? QStringLiteral("real") : QStringLiteral("virtual");
        }
        if (f->isFolder() && kind == u"virtual")
            f->flags.set(FA_VIRTUAL);
        f->lock();
        f->name = uniqueName(f->name, folder);
        Tfile *added = addFile(f, folder, lines.size() > 1);
        f->unlock();
        // A quit leaves no half-filled folder behind.
        if (added && s.closing) {
            vfs_.remove(added);
            added = nullptr;
        }
        if (added)
            last = TfilePtr(added);
    }

    if (!last || !last->isInTree())
        return nullptr;
    if (anyoneUploads) {
        QStringList &uploaders = last->accounts[FA_UPLOAD];
        if (!uploaders.contains(QLatin1String("@anyone")))
            uploaders.append(QStringLiteral("@anyone"));
        sortAccountList(uploaders);
        if (!last->resource.isEmpty() && !vfs_.uploadFolders.contains(last->resource))
            vfs_.uploadFolders.append(last->resource);
    }
    if (vfs_.settings().copyUrlOnAddition && out.copyToClipboard)
        out.copyToClipboard(last->fullURL());
    return last.data();
}

Tfile *TtreeAdder::newFolder(Tfile *selected)
{
    Tfile *folder = folderOf(selected);
    Tfile *added = addFile(Tfile::createVirtualFolder(uniqueName(QStringLiteral("New folder"), folder)), folder, false);
    if (added && editOutlets().editNodeName)
        editOutlets().editNodeName(added);
    return added;
}

Tfile *TtreeAdder::newLink(Tfile *selected)
{
    Tfile *folder = folderOf(selected);
    Tfile *added = addFile(Tfile::createLink(uniqueName(QStringLiteral("New link"), folder)), folder, false);
    if (added)
        askLinkUrl({added});
    return added;
}

bool TtreeAdder::askLinkUrl(const QList<Tfile *> &nodes)
{
    QList<TfilePtr> links;
    for (Tfile *n : nodes)
        if (n && n->isLink())
            links.append(TfilePtr(n));
    if (links.isEmpty())
        return false;
    const auto typed = prompt().askText(MSG_LINK_URL, MSG_LINK_URL_TITLE, links.first()->resource);
    if (!typed)
        return false;
    const QString url = linkUrlFromInput(*typed);
    for (const TfilePtr &l : std::as_const(links))
        l->resource = url;
    vfs_.setModified();
    return true;
}

Tfile *TtreeAdder::handOverTarget(Tfile *focused) const
{
    const QString &url = vfs_.settings().addToFolder;
    if (!url.isEmpty())
        if (const TfilePtr f = vfs_.findFilebyURL(url, nullptr, false); f && !f->isTemp() && f->isInTree())
            return f.data();
    // Without a node named by the caller, the one the operator has focused.
    if (!focused && editOutlets().focusedNode)
        focused = editOutlets().focusedNode();
    return focused && focused->vfs() == &vfs_ && !focused->isTemp() ? focused : vfs_.root();
}

bool TtreeAdder::warnOfManyItems()
{
    TaddingState &s = vfs_.adding();
    // The root does not count as an item.
    if (s.manyItemsWarned || !vfs_.settings().manyItemsWarning
        || countNodes(*vfs_.root(), kManyItems + 1) - 1 <= kManyItems)
        return false;
    s.manyItemsWarned = true;
    prompt().message(MSG_MANY_ITEMS, PK_WARNING);
    return true;
}
