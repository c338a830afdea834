// Macros that change and read the tree: add folder, set item, get item,
// delete item, vfs select, save vfs.
#include "macros/macrosRegistration.h"

#include "macros/treeSelection.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "util/asciiCase.h"
#include "util/files.h"
#include "util/presetPrompt.h"
#include "util/workingFolder.h"
#include "util/inertText.h"
#include "vfs/account.h"
#include "vfs/comments.h"
#include "vfs/diskEntry.h"
#include "vfs/treeAdd.h"
#include "vfs/treeEdit.h"
#include "vfs/treeNames.h"
#include "vfs/vfs.h"
#include "vfs/vfsStore.h"

#include <QDir>

namespace {

Tvfs &tree()
{
    return Tvfs::instance();
}

// Templates write disk paths with "\"; the system wants "/".
QString withSlashes(QString templatePath)
{
    templatePath.replace(u'\\', u'/');
    return templatePath;
}

// The nearest folder at or above `f`.
Tfile *folderOf(Tfile *f)
{
    while (f && !f->isFolder())
        f = f->parent();
    return f;
}

// Scripts answer no questions: they act as an operator who says `answer`
// to each, and their messages are dropped.
struct TscriptEdit {
    explicit TscriptEdit(TpromptButton answer) : answers(answer), editor(tree(), answers) {}
    TpresetPrompt answers;
    TtreeEditor editor;
};

// A location given to a macro: a disk path, or (holding "/") a tree URL
// standing for its item's disk path. Empty when the URL names nothing.
QString sourcePath(const QString &text)
{
    if (!text.contains(u'/'))
        return withSlashes(text);
    const TfilePtr f = tree().findFilebyURL(text, nullptr, true);
    return f ? f->resource : QString();
}

// The folder the run acts on, when it is a node of the program's tree.
Tfile *runFolder(const TmacroCall &c)
{
    Tfile *f = c.md.folder;
    return f && !f->isTemp() && f->vfs() == &tree() ? f : nullptr;
}

// The item a URL names, below the run's folder (items on disk included).
// The path may be built from page symbols, whose names are kept inert: it
// names the item they stand for.
TfilePtr itemOf(const TmacroCall &c)
{
    return tree().findFilebyURL(plainFromInert(c.par(0)), c.md.folder, true);
}

void addFolderMacro(TmacroCall &c)
{
    c.result.clear();
    const QString kind = c.par(0);
    if (!sameText(kind, u"real") && !sameText(kind, u"virtual"))
        return;
    const bool isVirtual = kind == u"virtual";
    Tfile *target = runFolder(c);
    if (!target)
        target = tree().root();

    QString path, name;
    if (isVirtual) {
        name = c.par(1);
    } else {
        path = sourcePath(c.par(1));
        if (path.isEmpty())
            return;
        if (!QDir::isAbsolutePath(path)) {
            const QString base = c.md.folder ? c.md.folder->resource : QString();
            path = base.isEmpty() ? inWorkingFolder(path) : base + u'/' + path;
        }
        path = QDir::cleanPath(path);
        if (diskEntryKind(path) != DiskEntry::Folder)
            return;
        name = c.par(2);
        if (name.isEmpty() || name.contains(u'='))
            name = path.mid(path.lastIndexOf(u'/') + 1);
    }

    const qsizetype slash = name.lastIndexOf(u'/');
    if (slash >= 0) {
        const TfilePtr at = tree().findFilebyURL(name.left(slash + 1), nullptr, false);
        if (!at)
            return;
        target = at.data();
        name = name.mid(slash + 1);
    }
    target = folderOf(target);
    if (!target || !validNodeName(name))
        return;

    TfilePtr node = isVirtual ? Tfile::createVirtualFolder(name) : Tfile::create(path);
    node->name = name;
    if (Tfile *old = childNamed(target, name)) {
        const auto overwrite = c.namedRaw(QStringLiteral("overwrite"));
        if ((overwrite && !macroIsTrue(*overwrite)) || !TscriptEdit(PB_NO).editor.remove(old))
            return;
    }
    // Added like any item: the adding counter holds saving meanwhile.
    if (TtreeAdder(tree()).addFromDisk(node, target))
        c.result = macroDone;
}

// "set item|...|name=": another item's name is refused rather than numbered
// (a script asking for a name gets that name or nothing); a change of
// letter case alone is taken.
void renameItem(Tfile &f, const QString &name)
{
    if (childNamed(f.parent(), name.trimmed(), &f))
        return;
    TscriptEdit(PB_YES).editor.rename(&f, name);
}

// Names for a permission list: trimmed, special names and existing accounts
// and groups only, first occurrence kept.
QStringList cleanAccountNames(const QString &value, const Taccounts &accounts)
{
    QStringList out;
    for (const QString &raw : value.split(u';')) {
        const QString n = raw.trimmed();
        if (n.isEmpty() || inList(n, out))
            continue;
        if (n.startsWith(u'@') || accounts.accountExists(n, true))
            out << n;
    }
    return out;
}

void setPermissions(TmacroCall &c, Tfile &f, const Taccounts &accounts)
{
    static const struct {
        TfileAction action;
        const char16_t *name;
    } actions[] = {{FA_ACCESS, u"access"}, {FA_DELETE, u"delete"}, {FA_UPLOAD, u"upload"}};
    for (const auto &a : actions) {
        // Lists keep the order given: membership tests are linear.
        QStringList &list = f.accounts[a.action];
        const QString name = QString::fromUtf16(a.name);
        if (const auto v = c.namedRaw(name))
            list = cleanAccountNames(*v, accounts);
        if (const auto v = c.namedRaw(QStringLiteral("add ") + name))
            for (const QString &n : cleanAccountNames(*v, accounts))
                if (!inList(n, list))
                    list << n;
        if (const auto v = c.namedRaw(QStringLiteral("remove ") + name)) {
            QStringList gone;
            for (const QString &n : v->split(u';'))
                gone << n.trimmed();
            list.removeIf([&gone](const QString &n) { return inList(n, gone); });
        }
    }
}

void setItemMacro(TmacroCall &c)
{
    c.result.clear();
    const TfilePtr f = itemOf(c);
    if (!f)
        return;
    if (const auto v = c.namedRaw(QStringLiteral("comment")))
        setDynamicComment(*f, macroDequote(*v));
    // On a node found on disk only the comment lasts: the node goes with
    // this call.
    if (f->isTemp())
        return;
    Tvfs *v = f->vfs();
    if (!v)
        return;
    const QString oldResource = f->resource;
    const bool wasUploadFolder = !f->accounts[FA_UPLOAD].isEmpty() && !oldResource.isEmpty();

    if (const auto n = c.namedRaw(QStringLiteral("name")))
        renameItem(*f, n->trimmed());
    if (const auto r = c.namedRaw(QStringLiteral("resource"))) {
        QString res = r->trimmed();
        if (!f->isLink()) {
            res = withSlashes(res);
            while (res.size() > 1 && res.endsWith(u'/'))
                res.chop(1);
        }
        if (!res.contains(QChar(0)))
            f->resource = res;
    }
    if (const auto d = c.namedRaw(QStringLiteral("diff template")))
        f->diffTpl = *d;
    if (const auto m = c.namedRaw(QStringLiteral("files filter")))
        f->filesFilter = m->trimmed();
    if (const auto m = c.namedRaw(QStringLiteral("folders filter")))
        f->foldersFilter = m->trimmed();

    static const struct {
        const char16_t *name;
        TfileAttribute att;
    } flags[] = {{u"hide", FA_HIDDEN},           {u"hide tree", FA_HIDDENTREE},
                 {u"no log", FA_DONT_LOG},       {u"archivable", FA_ARCHIVABLE},
                 {u"browsable", FA_BROWSABLE},   {u"download forbidden", FA_DL_FORBIDDEN}};
    for (const auto &fl : flags)
        if (const auto val = c.namedRaw(QString::fromUtf16(fl.name)))
            f->flags.set(fl.att, macroIsTrue(*val));
    if (const auto val = c.namedRaw(QStringLiteral("not as download"))) {
        if (f->isFolder())
            f->dontCountAsDownloadMask = val->trimmed();
        else
            f->flags.set(FA_DONT_COUNT_AS_DL, macroIsTrue(*val));
    }
    setPermissions(c, *f, v->accounts());

    // The free-space check watches the resources of upload folders.
    if (wasUploadFolder)
        v->uploadFolders.removeAll(oldResource);
    if (!f->accounts[FA_UPLOAD].isEmpty() && !f->resource.isEmpty() && !v->uploadFolders.contains(f->resource))
        v->uploadFolders << f->resource;

    v->setModified(true);
    v->resort(f.data()); // the tree display follows
}

QString itemProperty(const Tfile &f, const QString &prop, const TitemIconUrl &iconUrl)
{
    if (prop == u"exists")
        return QStringLiteral("1");
    if (prop == u"comment")
        return getDynamicComment(f, false);
    if (prop == u"resource")
        return f.isLink() ? f.resource : templatePath(f.resource);
    if (prop == u"icon")
        return iconUrl ? iconUrl(&f) : QString();
    if (prop == u"hide")
        return macroBool(f.flags.has(FA_HIDDEN));
    if (prop == u"hide tree")
        return macroBool(f.flags.has(FA_HIDDENTREE));
    if (prop == u"no log")
        return macroBool(f.flags.has(FA_DONT_LOG));
    if (prop == u"not as download")
        return f.isFolder() ? f.dontCountAsDownloadMask : macroBool(f.flags.has(FA_DONT_COUNT_AS_DL));
    if (prop == u"access")
        return f.accounts[FA_ACCESS].join(u';');
    if (prop == u"delete")
        return f.accounts[FA_DELETE].join(u';');
    if (prop == u"upload")
        return f.accounts[FA_UPLOAD].join(u';');
    return {};
}

void getItemMacro(TmacroCall &c, const TitemIconUrl &iconUrl)
{
    const TfilePtr f = itemOf(c);
    c.result = f ? itemProperty(*f, asciiLower(c.par(1)), iconUrl) : QString();
}

void deleteItemMacro(TmacroCall &c)
{
    c.result.clear();
    const TfilePtr f = tree().findFilebyURL(c.par(0), nullptr, true);
    // Items found on disk are not part of the tree: nothing to remove.
    if (f && !f->isTemp() && TscriptEdit(PB_NO).editor.remove(f.data()))
        c.result = macroDone;
}

void vfsSelectMacro(TmacroCall &c)
{
    c.result.clear();
    TtreeSelection &sel = TtreeSelection::instance();
    if (const auto path = c.namedRaw(QStringLiteral("path"))) {
        const TfilePtr f = tree().findFilebyURL(path->trimmed(), nullptr, false);
        if (!f || f->isTemp())
            return;
        sel.select(f.data());
        c.result = macroDone;
        return;
    }
    const QString p = c.par(0);
    if (sameText(p, u"next")) {
        if (sel.selectNext())
            c.result = macroDone;
    } else if (p.isEmpty()) {
        if (const Tfile *f = sel.selected())
            c.result = f->url();
    }
}

void saveVfsMacro(TmacroCall &c)
{
    c.result.clear();
    QString fn = withSlashes(c.par(0));
    if (fn.isEmpty())
        fn = tree().lastFileName;
    // Without a file there is nothing to save to: a macro never opens a dialog.
    if (!fn.isEmpty())
        TvfsStore::instance().saveVFS(fn);
}

} // namespace

void registerTreeMacros(TmacroRegistry &r, TitemIconUrl iconUrl)
{
    r.add(QStringLiteral("add folder"), 2, addFolderMacro);
    r.add(QStringLiteral("set item"), 2, setItemMacro);
    r.add(QStringLiteral("get item"), 2, [iconUrl](TmacroCall &c) { getItemMacro(c, iconUrl); });
    r.add(QStringLiteral("delete item"), 1, deleteItemMacro);
    r.add(QStringLiteral("vfs select"), 0, vfsSelectMacro);
    r.add(QStringLiteral("save vfs"), 0, saveVfsMacro);
}
