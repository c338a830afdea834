#include "ui/vfsTreeView.h"

TvfsTreeView::TvfsTreeView(QWidget *parent)
    : QTreeWidget(parent)
{
}
