#include "ui/optionsDialogAddress2namePage.h"

#include "util/masks.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

Taddress2namePage::Taddress2namePage(Tprompt *askIn, QWidget *parent) : ToptionsPageWidget(askIn, parent)
{
    grid = new TtextGrid(QStringLiteral("Name"), QStringLiteral("IP Mask"));
    addButton = grid->newAddRowButton(QStringLiteral("Add &row"));
    deleteButton = grid->newDeleteRowButton(QStringLiteral("&Delete row"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(addButton);
    buttons->addWidget(deleteButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(
        QStringLiteral("You can associate a label to an address (or many addresses). It will be used in the log."));
    label->setWordWrap(true);
    layout->addWidget(label);
    layout->addWidget(grid);
    layout->addLayout(buttons);
}

void Taddress2namePage::load(const ToptionsCopy &c)
{
    QList<QPair<QString, QString>> rows;
    for (const TnameRow &r : c.address2name)
        rows += qMakePair(r.name, r.mask);
    grid->showRows(rows);
}

void Taddress2namePage::store(ToptionsCopy &c)
{
    c.address2name.clear();
    for (const auto &r : grid->rowsShown())
        c.address2name += TnameRow{r.first, r.second};
}

int Taddress2namePage::focusAddress(const QString &address)
{
    for (int r = grid->rowCount() - 1; r >= 0; --r)
        if (matchAddressMask(grid->cell(r, 1), address)) {
            grid->setCurrentCell(r, 0);
            grid->editItem(grid->item(r, 0));
            return r;
        }
    const int r = grid->rowCount();
    grid->insertRow(r);
    grid->setCell(r, 0, QString());
    grid->setCell(r, 1, address);
    grid->setCurrentCell(r, 0);
    grid->editItem(grid->item(r, 0));
    return r;
}
