#pragma once
// The tree of the virtual file system, with its icons, tooltips, drag and drop and menu.
#include <QTreeWidget>

class TvfsTreeView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit TvfsTreeView(QWidget *parent = nullptr);
};
