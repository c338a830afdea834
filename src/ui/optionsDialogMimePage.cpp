#include "ui/optionsDialogMimePage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

TmimePage::TmimePage(Tprompt *askIn, QWidget *parent) : ToptionsPageWidget(askIn, parent)
{
    grid = new TtextGrid(QStringLiteral("File Mask"), QStringLiteral("MIME Description"));
    addButton = grid->newAddRowButton(QStringLiteral("Add row"));
    deleteButton = grid->newDeleteRowButton(QStringLiteral("Delete row"));
    inBrowserBox = new QCheckBox(QStringLiteral("Open directly in browser when MIME type is defined"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(addButton);
    buttons->addWidget(deleteButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(grid);
    layout->addLayout(buttons);
    layout->addWidget(inBrowserBox);
}

void TmimePage::load(const ToptionsCopy &c)
{
    QList<QPair<QString, QString>> rows;
    for (int i = 0; i + 1 < c.mimeTypes.size(); i += 2)
        rows += qMakePair(c.mimeTypes.at(i), c.mimeTypes.at(i + 1));
    grid->showRows(rows);
    inBrowserBox->setChecked(c.inBrowserIfMime);
}

void TmimePage::store(ToptionsCopy &c)
{
    c.mimeTypes.clear();
    for (const auto &r : grid->rowsShown())
        c.mimeTypes << r.first << r.second;
    c.inBrowserIfMime = inBrowserBox->isChecked();
}
