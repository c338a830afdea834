#include "ui/treeMenu.h"

#include "app/urlAddressWiring.h"
#include "config/config.h"
#include "config/options.h"
#include "ui/smallDialogs.h"
#include "ui/vfsTreeView.h"
#include "util/prompt.h"
#include "vfs/treeAdd.h"
#include "vfs/treeEdit.h"
#include "vfs/urlPassword.h"
#include "vfs/vfs.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace treeMenuParts {

QList<const Tfile *> constNodes(const QList<Tfile *> &nodes)
{
    return {nodes.cbegin(), nodes.cend()};
}

// Where additions go: the focused node (its folder, the adder decides),
// else the root.
Tfile *additionTarget(const TvfsTreeView &view)
{
    Tfile *f = view.focusedNode();
    return f ? f : view.vfs().root();
}

void addPaths(TvfsTreeView &view, const QStringList &paths)
{
    if (!paths.isEmpty())
        TtreeAdder(view.vfs()).addDroppedPaths(paths.join(QStringLiteral("\r\n")), additionTarget(view));
}

void copyLines(const QStringList &lines)
{
    QApplication::clipboard()->setText(lines.join(QStringLiteral("\r\n")));
}

QString nodeBrowseUrl(const Tfile &f)
{
    const QString url = f.isLink() ? f.resource : f.fullURL();
    return browseUrl(url, f.isLink(), opts().browseLocalhost, f.vfsSettings().serverPort);
}

} // namespace treeMenuParts

using namespace treeMenuParts;

QStringList urlHostChoices()
{
    return currentUrlAddressCandidates();
}

QString browseUrl(const QString &url, bool isLink, bool localhost, const QString &port)
{
    if (isLink || !localhost || port.isEmpty())
        return url;
    const qsizetype hostStart = url.indexOf(QStringLiteral("//"));
    if (hostStart < 0)
        return url;
    const qsizetype pathStart = url.indexOf(u'/', hostStart + 2);
    const QString rest = pathStart < 0 ? QString() : url.mid(pathStart + 1);
    return QStringLiteral("http://localhost:") + port + u'/' + rest;
}

TtreeMenuState treeMenuState(const TvfsTreeView &view)
{
    TtreeMenuState s;
    s.selection = constNodes(view.selectedNodes());
    s.focused = view.focusedNode();
    s.expert = !opts().easy;
    s.newFlagMinutes = view.vfs().settings().filesStayFlaggedForMinutes;
    s.clipboardHasFiles = !TvfsTreeView::localPaths(QApplication::clipboard()->mimeData()).isEmpty();
    s.urlAddressCount = int(urlHostChoices().size());
    if (s.focused)
        s.passwordNames = passwordUrlNames(*s.focused, view.vfs().accounts());
    return s;
}

QList<TmenuEntry> treeMenuEntries(TvfsTreeView &view)
{
    TvfsTreeView *v = &view;
    const auto editor = [v] { return TtreeEditor(v->vfs(), prompt()); };
    const auto sel = [v] { return v->selectedNodes(); };
    QList<TmenuEntry> m;
    // Every command runs on what is selected when it runs, then the view
    // shows what it changed (some changes are not announced by the tree).
    const auto add = [&m, v](TtreeCommand cmd, const QString &caption, const QKeySequence &key,
                             std::function<void()> run) {
        TmenuEntry e;
        e.caption = caption;
        e.key = key;
        e.offered = [v, cmd] { return offeredTreeCommands(treeMenuState(*v)).test(cmd); };
        e.run = [v, run] {
            run();
            v->refreshNodes();
            Q_EMIT v->focusedNodeChanged();
        };
        m.append(e);
        return &m.last();
    };

    add(TC_ADD_FILES, QStringLiteral("Add files..."), {}, [v] {
        addPaths(*v, QFileDialog::getOpenFileNames(v->window(), QStringLiteral("Add files")));
    });
    add(TC_ADD_FOLDER, QStringLiteral("Add folder from disk..."), {}, [v] {
        const QString folder = QFileDialog::getExistingDirectory(v->window(), QStringLiteral("Add folder from disk"));
        if (!folder.isEmpty())
            addPaths(*v, {folder});
    });
    add(TC_NEW_FOLDER, QStringLiteral("New empty folder"), QKeySequence(Qt::Key_Insert),
        [v] { TtreeAdder(v->vfs()).newFolder(additionTarget(*v)); });
    add(TC_NEW_LINK, QStringLiteral("New link"), {}, [v] { TtreeAdder(v->vfs()).newLink(additionTarget(*v)); });
    add(TC_REMOVE, QStringLiteral("Remove"), QKeySequence(Qt::Key_Delete),
        [editor, sel] { editor().removeSelection(sel()); });
    add(TC_RENAME, QStringLiteral("Rename"), QKeySequence(Qt::Key_F2), [v] { v->editName(v->focusedNode()); });
    add(TC_PASTE, QStringLiteral("Paste"), QKeySequence(Qt::CTRL | Qt::Key_V),
        [v] { addPaths(*v, TvfsTreeView::localPaths(QApplication::clipboard()->mimeData())); });
    add(TC_EDIT_RESOURCE, QStringLiteral("Edit resource..."), {}, [v, editor] {
        Tfile *f = v->focusedNode();
        if (!f)
            return;
        const TfilePtr keep(f);
        const QString title = QStringLiteral("Edit resource");
        const QString path = f->isFolder() ? QFileDialog::getExistingDirectory(v->window(), title, f->resource)
                                           : QFileDialog::getOpenFileName(v->window(), title, f->resource);
        if (!path.isEmpty() && f->isInTree())
            editor().editResource(f, path);
    });
    add(TC_COPY_URL, QStringLiteral("Copy URL address"), QKeySequence(Qt::CTRL | Qt::Key_C), [sel] {
        QStringList urls;
        for (const Tfile *f : sel())
            urls.append(f->fullURL());
        copyLines(urls);
    });
    TmenuEntry *password = add(TC_COPY_URL_WITH_PASSWORD, QStringLiteral("Copy URL with password"), {}, nullptr);
    password->run = nullptr;
    password->liveChildren = [v] {
        QList<TmenuEntry> names;
        const Tfile *f = v->focusedNode();
        if (!f)
            return names;
        for (const QString &name : passwordUrlNames(*f, v->vfs().accounts())) {
            TmenuEntry e;
            e.caption = name;
            e.run = [v, name] {
                if (const Tfile *now = v->focusedNode())
                    QApplication::clipboard()->setText(fullUrlWithPassword(*now, name, v->vfs().accounts()));
            };
            names.append(e);
        }
        return names;
    };
    TmenuEntry *host = add(TC_COPY_URL_OTHER_HOST, QStringLiteral("Copy URL with different host address"), {}, nullptr);
    host->run = nullptr;
    host->liveChildren = [sel] {
        QList<TmenuEntry> hosts;
        for (const QString &address : urlHostChoices()) {
            TmenuEntry e;
            e.caption = address;
            e.run = [sel, address] {
                QStringList urls;
                for (const Tfile *f : sel())
                    urls.append(f->fullURL(address));
                copyLines(urls);
            };
            hosts.append(e);
        }
        return hosts;
    };
    add(TC_BROWSE, QStringLiteral("Browse it"), QKeySequence(Qt::Key_F9), [v] {
        if (const Tfile *f = v->focusedNode())
            QDesktopServices::openUrl(QUrl(nodeBrowseUrl(*f)));
    });
    add(TC_SET_URL, QStringLiteral("Set URL..."), {}, [v, sel] { TtreeAdder(v->vfs()).askLinkUrl(sel()); });
    add(TC_OPEN, QStringLiteral("Open it"), QKeySequence(Qt::Key_F8), [v] {
        if (const Tfile *f = v->focusedNode(); f && !f->resource.isEmpty())
            QDesktopServices::openUrl(f->isLink() ? QUrl(f->resource) : QUrl::fromLocalFile(f->resource));
    });
    add(TC_FLAG_NEW, QStringLiteral("Flag as new"), {}, [editor, sel] { editor().flagAsNew(sel()); });
    add(TC_RESET_NEW, QStringLiteral("Reset <new> flag"), {}, [editor, sel] { editor().resetNewFlag(sel()); });
    add(TC_SET_USER_PASS, QStringLiteral("Set user/pass..."), {},
        [v, editor, sel] { editor().setUserPass(sel(), v->focusedNode()); });
    add(TC_RESET_USER_PASS, QStringLiteral("Reset user/pass"), {}, [editor, sel] { editor().resetUserPass(sel()); });
    add(TC_PURGE, QStringLiteral("Purge..."), {}, [v] { purgeWithDialog(v->window(), v->focusedNode()); });
    add(TC_TO_VIRTUAL, QStringLiteral("Change to virtual-folder"), {},
        [editor, sel] { editor().toVirtualFolders(sel()); });
    add(TC_TO_REAL, QStringLiteral("Change to real-folder"), {}, [editor, sel] { editor().toRealFolders(sel()); });
    add(TC_BIND_ROOT, QStringLiteral("Bind root to real-folder"), {}, [v, editor] {
        const QString folder = QFileDialog::getExistingDirectory(v->window(), QStringLiteral("Bind root to real-folder"));
        if (!folder.isEmpty())
            editor().bindRoot(folder);
    });
    add(TC_UNBIND_ROOT, QStringLiteral("Unbind root"), {}, [editor] { editor().unbindRoot(); });
    add(TC_DEFAULT_ADD_POINT, QStringLiteral("Default point to add files"), {}, [v] {
        if (const Tfile *f = v->focusedNode()) {
            cfg().setCfg(QStringLiteral("add-to-folder=") + f->url(), true);
            prompt().message(QStringLiteral("Ok"));
        }
    });
    add(TC_PROPERTIES, QStringLiteral("Properties..."), QKeySequence(Qt::ALT | Qt::Key_Return),
        [v] { Q_EMIT v->propertiesRequested(v->selectedNodes()); });
    return m;
}
