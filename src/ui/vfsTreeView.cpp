#include "ui/vfsTreeView.h"

#include "app/program.h"
#include "config/options.h"
#include "ui/treeMenu.h"
#include "ui/vfsTooltip.h"
#include "util/prompt.h"
#include "util/service.h"
#include "vfs/editOutlets.h"
#include "vfs/treeAdd.h"
#include "vfs/treeEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <algorithm>

namespace {

constexpr int NODE_ROLE = Qt::UserRole;
constexpr int FILLED_ROLE = Qt::UserRole + 1;

} // namespace

// Hands the edited name to the tree's rename (which may ask or refuse)
// instead of writing it into the item: the item shows what the node is.
class TtreeNameDelegate : public QStyledItemDelegate
{
public:
    explicit TtreeNameDelegate(TvfsTreeView *view) : QStyledItemDelegate(view), view(view) {}

    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        auto *line = qobject_cast<QLineEdit *>(editor);
        Tfile *f = view->nodeOf(view->itemFromIndex(index));
        if (!line || !f)
            return;
        // After the editor has closed: the rename may ask questions.
        const TfilePtr node(f);
        const QString text = line->text();
        QMetaObject::invokeMethod(view, [v = view, node, text] { v->renameFromEditor(node.data(), text); },
                                  Qt::QueuedConnection);
    }

private:
    TvfsTreeView *view;
};

TvfsTreeView::TvfsTreeView(QWidget *parent)
    : QTreeWidget(parent), tree(&Tvfs::instance())
{
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setItemDelegate(new TtreeNameDelegate(this));

    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *item) { fill(item); });
    connect(this, &QTreeWidget::itemSelectionChanged, this, &TvfsTreeView::focusedNodeChanged);
    connect(this, &QTreeWidget::currentItemChanged, this, &TvfsTreeView::focusedNodeChanged);

    contextMenu = new QMenu(this);
    entries = treeMenuEntries(*this);
    const TexpertMode expert = [] { return !opts().easy; };
    bindMenu(contextMenu, entries, expert);
    // The tree's keys work while the tree has the focus, not everywhere in
    // the window. While a name is edited, its editor keeps the keys of text
    // editing (Del, Ctrl+C, Ctrl+V) for itself.
    bindShortcuts(this, entries, expert);
    for (QShortcut *s : findChildren<QShortcut *>(Qt::FindDirectChildrenOnly))
        s->setContext(Qt::WidgetWithChildrenShortcut);

    TeditOutlets &out = editOutlets();
    out.selectNode = [this](Tfile *f) { selectNode(f); };
    out.editNodeName = [this](Tfile *f) { editName(f); };
    out.focusedNode = [this] { return focusedNode(); };
    out.copyToClipboard = [](const QString &text) { QApplication::clipboard()->setText(text); };
    out.bringToFront = [this] {
        window()->raise();
        window()->activateWindow();
    };
    tree->setObserver(this);
    treeReset();
}

TvfsTreeView::~TvfsTreeView()
{
    TeditOutlets &out = editOutlets();
    out.selectNode = nullptr;
    out.editNodeName = nullptr;
    out.focusedNode = nullptr;
    out.copyToClipboard = nullptr;
    out.bringToFront = nullptr;
    if (Tservice<Tvfs>::find() == tree)
        tree->setObserver(nullptr);
}

Tfile *TvfsTreeView::nodeOf(const QTreeWidgetItem *item) const
{
    return item ? reinterpret_cast<Tfile *>(item->data(0, NODE_ROLE).value<quintptr>()) : nullptr;
}

QTreeWidgetItem *TvfsTreeView::makeItem(Tfile &f)
{
    auto *item = new QTreeWidgetItem;
    item->setData(0, NODE_ROLE, QVariant::fromValue(quintptr(&f)));
    item->setData(0, FILLED_ROLE, false);
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled;
    if (!f.isRoot())
        flags |= Qt::ItemIsEditable;
    if (f.isFolder())
        flags |= Qt::ItemIsDropEnabled;
    item->setFlags(flags);
    item->setChildIndicatorPolicy(f.children().isEmpty() ? QTreeWidgetItem::DontShowIndicator
                                                         : QTreeWidgetItem::ShowIndicator);
    items.insert(&f, item);
    updateItem(item, f);
    return item;
}

void TvfsTreeView::updateItem(QTreeWidgetItem *item, const Tfile &f) const
{
    item->setText(0, f.name);
    QStyle::StandardPixmap kind = QStyle::SP_FileIcon;
    if (f.isRoot())
        kind = QStyle::SP_DriveNetIcon;
    else if (f.flags.has(FA_UNIT))
        kind = QStyle::SP_DriveHDIcon;
    else if (f.isLink())
        kind = QStyle::SP_FileLinkIcon;
    else if (f.isVirtualFolder())
        kind = QStyle::SP_DirIcon;
    else if (f.isRealFolder())
        kind = QStyle::SP_DirLinkIcon;
    if (kind == QStyle::SP_FileIcon && opts().useSystemIcons && !f.resource.isEmpty()) {
        static QFileIconProvider provider;
        item->setIcon(0, provider.icon(QFileInfo(f.resource)));
    } else {
        item->setIcon(0, style()->standardIcon(kind));
    }
}

void TvfsTreeView::fill(QTreeWidgetItem *item)
{
    Tfile *f = nodeOf(item);
    if (!f || item->data(0, FILLED_ROLE).toBool())
        return;
    item->setData(0, FILLED_ROLE, true);
    QList<QTreeWidgetItem *> kids;
    for (const TfilePtr &c : f->children())
        kids.append(makeItem(*c));
    item->addChildren(kids);
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

// Puts the items below `item` in the order of the node's children.
void TvfsTreeView::syncOrder(QTreeWidgetItem *item)
{
    Tfile *f = nodeOf(item);
    if (!f || !item->data(0, FILLED_ROLE).toBool())
        return;
    const QList<TfilePtr> &kids = f->children();
    for (int i = 0; i < kids.size() && i < item->childCount(); ++i) {
        QTreeWidgetItem *want = items.value(kids[i].data());
        if (!want || item->child(i) == want)
            continue;
        const bool expanded = want->isExpanded();
        const bool selected = want->isSelected();
        const bool current = currentItem() == want;
        item->insertChild(i, item->takeChild(item->indexOfChild(want)));
        want->setExpanded(expanded);
        want->setSelected(selected);
        if (current)
            setCurrentItem(want, 0, QItemSelectionModel::NoUpdate);
    }
}

void TvfsTreeView::forget(QTreeWidgetItem *item)
{
    items.remove(nodeOf(item));
    for (int i = 0; i < item->childCount(); ++i)
        forget(item->child(i));
}

QTreeWidgetItem *TvfsTreeView::revealNode(Tfile *f)
{
    if (!f || f->isTemp() || f->vfs() != tree)
        return nullptr;
    if (QTreeWidgetItem *item = items.value(f))
        return item;
    QTreeWidgetItem *above = revealNode(f->parent());
    if (!above)
        return nullptr;
    fill(above);
    above->setExpanded(true);
    return items.value(f);
}

QList<Tfile *> TvfsTreeView::selectedNodes() const
{
    QList<Tfile *> out;
    Tfile *focused = focusedNode();
    if (focused)
        out.append(focused);
    // The others in tree order.
    for (QTreeWidgetItemIterator it(const_cast<TvfsTreeView *>(this), QTreeWidgetItemIterator::Selected); *it; ++it)
        if (Tfile *f = nodeOf(*it); f && f != focused)
            out.append(f);
    return out;
}

Tfile *TvfsTreeView::focusedNode() const
{
    QTreeWidgetItem *current = currentItem();
    if (current && current->isSelected())
        return nodeOf(current);
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? nullptr : nodeOf(selected.first());
}

void TvfsTreeView::selectNode(Tfile *f)
{
    QTreeWidgetItem *item = revealNode(f);
    if (!item)
        return;
    setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect);
    scrollToItem(item);
}

void TvfsTreeView::editName(Tfile *f)
{
    if (!f || f->isRoot())
        return;
    if (QTreeWidgetItem *item = revealNode(f)) {
        scrollToItem(item);
        editItem(item, 0);
    }
}

void TvfsTreeView::renameFromEditor(Tfile *f, const QString &text)
{
    if (!f || f->vfs() != tree)
        return;
    TtreeEditor(*tree, prompt()).rename(f, text);
    // A refused name: the item shows the node's name again.
    if (QTreeWidgetItem *item = items.value(f))
        updateItem(item, *f);
    Q_EMIT focusedNodeChanged();
}

void TvfsTreeView::refreshNodes()
{
    for (auto it = items.cbegin(); it != items.cend(); ++it)
        updateItem(it.value(), *it.key());
}

QString TvfsTreeView::tooltipAt(const QPoint &pos) const
{
    // Nodes may be going while the program closes.
    if (const Tprogram *p = Tprogram::instance(); p && p->closing())
        return {};
    if (Tfile *f = nodeOf(itemAt(pos)))
        return vfsTooltipLines(*f, opts().hints4newcomers).join(u'\n');
    return opts().hints4newcomers ? TREE_HINT : QString();
}

bool TvfsTreeView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = tooltipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport(), visualItemRect(itemAt(help->pos())));
        return true;
    }
    return QTreeWidget::viewportEvent(event);
}

void TvfsTreeView::contextMenuEvent(QContextMenuEvent *event)
{
    // The menu acts on the node clicked; on empty space, on nothing.
    QTreeWidgetItem *item = itemAt(viewport()->mapFrom(this, event->pos()));
    if (!item)
        clearSelection();
    else if (!item->isSelected())
        setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect);
    contextMenu->popup(event->globalPos());
}

void TvfsTreeView::mousePressEvent(QMouseEvent *event)
{
    QTreeWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && event->modifiers() == Qt::AltModifier && itemAt(event->pos()))
        Q_EMIT propertiesRequested(selectedNodes());
}

void TvfsTreeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        if (Tfile *f = nodeOf(itemAt(event->position().toPoint())))
            QApplication::clipboard()->setText(f->fullURL());
    QTreeWidget::mouseDoubleClickEvent(event);
}

QStringList TvfsTreeView::localPaths(const QMimeData *data)
{
    QStringList out;
    if (data && data->hasUrls())
        for (const QUrl &u : data->urls())
            if (u.isLocalFile())
                out.append(QFileInfo(u.toLocalFile()).absoluteFilePath());
    return out;
}

Tfile *TvfsTreeView::dropTarget(const QPoint &pos) const
{
    Tfile *f = nodeOf(itemAt(pos));
    return f ? f : tree->root();
}

Qt::DropActions TvfsTreeView::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

void TvfsTreeView::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->source() == this || !localPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TvfsTreeView::dragMoveEvent(QDragMoveEvent *event)
{
    QTreeWidget::dragMoveEvent(event); // auto-scroll and the indicator
    const QPoint pos = event->position().toPoint();
    bool ok;
    if (event->source() == this)
        ok = TtreeEditor(*tree, prompt()).canMove(selectedNodes(), dropTarget(pos));
    else
        ok = !localPaths(event->mimeData()).isEmpty();
    if (ok)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TvfsTreeView::dropEvent(QDropEvent *event)
{
    Tfile *target = dropTarget(event->position().toPoint());
    if (event->source() == this) {
        TtreeEditor(*tree, prompt()).move(selectedNodes(), target);
        // The items follow the tree's own notices; the view must not move
        // or delete them as a plain item move would.
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else if (const QStringList paths = localPaths(event->mimeData()); !paths.isEmpty()) {
        event->acceptProposedAction();
        const TfilePtr keep(target);
        TtreeAdder(*tree).addDroppedPaths(paths.join(QStringLiteral("\r\n")), target);
    } else {
        event->ignore();
    }
    refreshNodes();
}

// ---- following the tree ----

void TvfsTreeView::nodeAdded(Tfile &f)
{
    QTreeWidgetItem *above = items.value(f.parent());
    if (!above)
        return;
    if (!above->data(0, FILLED_ROLE).toBool()) {
        above->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        return;
    }
    if (items.contains(&f))
        return;
    const qsizetype at = f.parent()->children().indexOf(TfilePtr(&f));
    above->insertChild(int(std::clamp<qsizetype>(at, 0, above->childCount())), makeItem(f));
}

void TvfsTreeView::nodeRemoving(Tfile &f)
{
    QTreeWidgetItem *item = items.value(&f);
    if (!item)
        return;
    forget(item);
    delete item;
}

void TvfsTreeView::nodeChanged(Tfile &f)
{
    QTreeWidgetItem *item = items.value(&f);
    if (!item)
        return;
    updateItem(item, f);
    if (QTreeWidgetItem *above = item->parent())
        syncOrder(above);
    syncOrder(item);
}

void TvfsTreeView::treeReset()
{
    // The old nodes may be gone already: nothing may look at them while
    // their items go, so the selection's notices wait for the new root.
    items.clear();
    {
        const QSignalBlocker quiet(this);
        clear();
    }
    QTreeWidgetItem *root = makeItem(*tree->root());
    addTopLevelItem(root);
    fill(root);
    root->setExpanded(true);
    Q_EMIT focusedNodeChanged();
}
