#include "ui/connectionsView.h"

TconnectionsView::TconnectionsView(QWidget *parent)
    : QTreeWidget(parent)
{
}
