#include "ui/logView.h"

TlogView::TlogView(QWidget *parent)
    : QPlainTextEdit(parent)
{
}
