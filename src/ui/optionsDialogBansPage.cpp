#include "ui/optionsDialogBansPage.h"

#include "util/prompt.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

const QString MSG_INVERT_BANS = QStringLiteral(
    "Normal behavior of the Ban is to prevent access to the addresses you specify (also called black-list).\r"
    "If you want the opposite, to allow the addresses that you specify (white-list), enter all addresses in a "
    "single row preceded by a \\ character.\r\r"
    "Let say you want to allow all your 192.168 local network plus your office at 1.1.1.1.\r"
    "Just put this IP address mask: \\192.168.*;1.1.1.1\r"
    "The opening \\ character inverts the logic, so everything else is banned.\r\r"
    "If you want to know more about address masks, check the guide.");

TbansPage::TbansPage(Tprompt *askIn, QWidget *parent) : ToptionsPageWidget(askIn, parent)
{
    grid = new TtextGrid(QStringLiteral("IP address mask"), QStringLiteral("Comment"));
    addButton = grid->newAddRowButton(QStringLiteral("Add row"));
    deleteButton = grid->newDeleteRowButton(QStringLiteral("Delete row"));
    sortButton = new QPushButton(QStringLiteral("Sort"));
    invertHelpButton = new QPushButton(QStringLiteral("How to invert the logic?"));
    noReplyBox = new QCheckBox(QStringLiteral("Disconnect with no reply"));
    connect(sortButton, &QPushButton::clicked, this, &TbansPage::sortRows);
    connect(invertHelpButton, &QPushButton::clicked, this, [this] { ask().message(MSG_INVERT_BANS); });
    auto *buttons = new QHBoxLayout;
    for (QWidget *w : {static_cast<QWidget *>(addButton), static_cast<QWidget *>(deleteButton),
                       static_cast<QWidget *>(sortButton), static_cast<QWidget *>(noReplyBox)})
        buttons->addWidget(w);
    buttons->addStretch();
    buttons->addWidget(invertHelpButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(grid);
    layout->addLayout(buttons);
}

void TbansPage::load(const ToptionsCopy &c)
{
    QList<QPair<QString, QString>> rows;
    for (const TbanRow &r : c.bans)
        rows += qMakePair(r.mask, r.comment);
    grid->showRows(rows);
    noReplyBox->setChecked(c.noReplyBan);
}

void TbansPage::store(ToptionsCopy &c)
{
    c.bans.clear();
    for (const auto &r : grid->rowsShown())
        c.bans += TbanRow{r.first, r.second};
    c.noReplyBan = noReplyBox->isChecked();
}

void TbansPage::sortRows()
{
    ToptionsCopy c;
    store(c);
    sortBanRows(c.bans);
    load(c);
}
