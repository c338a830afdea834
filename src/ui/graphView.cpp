#include "ui/graphView.h"

TgraphView::TgraphView(QWidget *parent)
    : QWidget(parent)
{
}
