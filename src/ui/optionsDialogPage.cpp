#include "ui/optionsDialogPage.h"

#include "util/prompt.h"

#include <QHeaderView>
#include <QPushButton>

Tprompt &ToptionsPageWidget::ask() const
{
    return askIn ? *askIn : prompt();
}

TtextGrid::TtextGrid(const QString &first, const QString &second, QWidget *parent) : QTableWidget(0, 2, parent)
{
    setHorizontalHeaderLabels({first, second});
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->setVisible(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

QString TtextGrid::cell(int row, int column) const
{
    const QTableWidgetItem *i = item(row, column);
    return i ? i->text() : QString();
}

void TtextGrid::setCell(int row, int column, const QString &text)
{
    if (QTableWidgetItem *i = item(row, column))
        i->setText(text);
    else
        setItem(row, column, new QTableWidgetItem(text));
}

QList<QPair<QString, QString>> TtextGrid::rowsShown() const
{
    QList<QPair<QString, QString>> out;
    for (int r = 0; r < rowCount(); ++r)
        out += qMakePair(cell(r, 0), cell(r, 1));
    return out;
}

void TtextGrid::showRows(const QList<QPair<QString, QString>> &rows)
{
    setRowCount(0);
    setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        setCell(r, 0, rows.at(r).first);
        setCell(r, 1, rows.at(r).second);
    }
}

int TtextGrid::addRow()
{
    const int r = currentRow() < 0 ? rowCount() : currentRow() + 1;
    insertRow(r);
    setCell(r, 0, QString());
    setCell(r, 1, QString());
    setCurrentCell(r, 0);
    return r;
}

void TtextGrid::deleteRow()
{
    const int r = currentRow();
    if (r >= 0)
        removeRow(r);
}

QPushButton *TtextGrid::newAddRowButton(const QString &caption)
{
    auto *button = new QPushButton(caption);
    connect(button, &QPushButton::clicked, this, &TtextGrid::addRow);
    return button;
}

QPushButton *TtextGrid::newDeleteRowButton(const QString &caption)
{
    auto *button = new QPushButton(caption);
    connect(button, &QPushButton::clicked, this, &TtextGrid::deleteRow);
    return button;
}
