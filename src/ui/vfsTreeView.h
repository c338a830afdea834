#pragma once
// The tree of the virtual file system, with its icons, tooltips, drag and
// drop, in-place renaming and menu. It follows the tree through the tree's
// observer; folders get their items when first expanded. Every change it
// makes goes through the operations layer (adding, editing).
#include "ui/menuTable.h"
#include "vfs/vfs.h"

#include <QHash>
#include <QTreeWidget>

class QMenu;

class TvfsTreeView : public QTreeWidget, public TvfsObserver
{
    Q_OBJECT
public:
    // Shows the program's tree.
    explicit TvfsTreeView(QWidget *parent = nullptr);
    ~TvfsTreeView() override;

    Tvfs &vfs() const { return *tree; }

    // The item showing `f`, or null when it has none yet (its folder was
    // never expanded).
    QTreeWidgetItem *itemOf(const Tfile *f) const { return items.value(f); }
    Tfile *nodeOf(const QTreeWidgetItem *item) const;
    // Makes the item of `f` exist (its folders expanded) and returns it.
    QTreeWidgetItem *revealNode(Tfile *f);

    // The selected nodes, the focused one first, the others in tree order.
    QList<Tfile *> selectedNodes() const;
    // The current item when selected, else the first selected; null when
    // nothing is selected.
    Tfile *focusedNode() const;
    // Only `f` selected and focused, shown.
    void selectNode(Tfile *f);
    // Opens the name of `f` for editing (never the root's).
    void editName(Tfile *f);
    // A name is being edited in place.
    bool editingName() const { return state() == EditingState; }

    // Texts and images again (after commands that change nodes quietly).
    void refreshNodes();

    // The menu and its table; what it offers is decided at each opening.
    QMenu *menu() const { return contextMenu; }
    const QList<TmenuEntry> &menuEntries() const { return entries; }

    // The tooltip text for the node at `pos` (viewport coordinates).
    QString tooltipAt(const QPoint &pos) const;

    // The disk paths of local files in a drag or on the clipboard.
    static QStringList localPaths(const QMimeData *data);

    // TvfsObserver
    void nodeAdded(Tfile &f) override;
    void nodeRemoving(Tfile &f) override;
    void nodeChanged(Tfile &f) override;
    void treeReset() override;

Q_SIGNALS:
    // The focused node changed (the URL box follows it).
    void focusedNodeChanged();
    // "Properties..." or Alt with a left click: the dialog's business.
    void propertiesRequested(const QList<Tfile *> &nodes);

protected:
    bool viewportEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override; // copies the node's full URL
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    Qt::DropActions supportedDropActions() const override;

private:
    friend class TtreeNameDelegate;
    QTreeWidgetItem *makeItem(Tfile &f);
    void updateItem(QTreeWidgetItem *item, const Tfile &f) const;
    void fill(QTreeWidgetItem *item);
    void syncOrder(QTreeWidgetItem *item);
    void forget(QTreeWidgetItem *item);
    void renameFromEditor(Tfile *f, const QString &text);
    Tfile *dropTarget(const QPoint &pos) const;

    Tvfs *tree;
    QHash<const Tfile *, QTreeWidgetItem *> items;
    QMenu *contextMenu = nullptr;
    QList<TmenuEntry> entries;
};
