#include "ui/optionsDialog.h"

#include "config/options.h"
#include "serve/serve.h"
#include "serve/timeouts.h"
#include "ui/optionsDialogAccountsPage.h"
#include "ui/optionsDialogAddress2namePage.h"
#include "ui/optionsDialogBansPage.h"
#include "ui/optionsDialogIconMasksPage.h"
#include "ui/optionsDialogMimePage.h"
#include "ui/optionsDialogTrayMessagePage.h"
#include "ui/vfsTreeView.h"
#include "util/prompt.h"
#include "vfs/vfs.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

ToptionsDialog::ToptionsDialog(QWidget *parent, Tprompt *ask) : QDialog(parent), askIn(ask)
{
    setWindowTitle(QStringLiteral("Options"));
    setObjectName(QStringLiteral("optionsDialog"));
    bans = new TbansPage(ask);
    accounts = new TaccountsPage(ask);
    mime = new TmimePage(ask);
    trayMessage = new TtrayMessagePage(ask);
    address2name = new Taddress2namePage(ask);
    iconMasks = new TiconMasksPage(ask);
    tabs = new QTabWidget;
    // In the order of ToptionsPage.
    tabs->addTab(bans, QStringLiteral("Bans"));
    tabs->addTab(accounts, QStringLiteral("Accounts"));
    tabs->addTab(mime, QStringLiteral("MIME types"));
    tabs->addTab(trayMessage, QStringLiteral("Tray Message"));
    tabs->addTab(address2name, QStringLiteral("Address2name"));
    tabs->addTab(iconMasks, QStringLiteral("Icon masks"));
    connect(tabs, &QTabWidget::currentChanged, this, [this] {
        if (tabs->currentWidget() == iconMasks)
            iconMasks->followCaret();
    });

    okButton = new QPushButton(QStringLiteral("&OK"));
    applyButton = new QPushButton(QStringLiteral("&Apply"));
    cancelButton = new QPushButton(QStringLiteral("&Cancel"));
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, [this] {
        if (save())
            accept();
    });
    connect(applyButton, &QPushButton::clicked, this, &ToptionsDialog::save);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(applyButton);
    buttons->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(buttons);
    resize(720, 480);
}

Tprompt &ToptionsDialog::ask() const
{
    return askIn ? *askIn : prompt();
}

void ToptionsDialog::load()
{
    const ToptionsCopy c = ToptionsCopy::load(opts(), Taccounts::global());
    for (ToptionsPageWidget *p : std::initializer_list<ToptionsPageWidget *>{bans, accounts, mime, trayMessage,
                                                                            address2name, iconMasks})
        p->load(c);
    const bool expert = !opts().easy;
    for (QWidget *expertOnly : std::initializer_list<QWidget *>{accounts, mime, address2name})
        tabs->setTabVisible(tabs->indexOf(expertOnly), expert);
}

void ToptionsDialog::setPage(ToptionsPage page)
{
    tabs->setTabVisible(int(page), true);
    tabs->setCurrentIndex(int(page));
}

ToptionsPage ToptionsDialog::page() const
{
    return ToptionsPage(tabs->currentIndex());
}

bool ToptionsDialog::save()
{
    ToptionsCopy c;
    for (ToptionsPageWidget *p : std::initializer_list<ToptionsPageWidget *>{bans, accounts, mime, trayMessage,
                                                                            address2name, iconMasks})
        p->store(c);
    const QString why = c.check();
    // The check deletes address rows with neither name nor mask.
    address2name->load(c);
    if (!why.isEmpty()) {
        ask().message(why, PK_ERROR);
        return false;
    }
    const QStringList orphaned = c.orphanedPermissions(Tvfs::instance());
    if (!orphaned.isEmpty()
        && ask().question(MSG_ORPHANED_PERMISSIONS.arg(orphaned.join(u'\r')), PB_YES | PB_NO, PB_NO) != PB_YES)
        return false;
    c.save(opts(), Taccounts::global(), Tvfs::instance());
    if (serveExists())
        Ttimeouts::kickBanned(serve());
    // Renames are done: the next save carries only what changes from here.
    const int at = accounts->selected();
    accounts->load(ToptionsCopy::load(opts(), Taccounts::global()));
    if (at >= 0 && at < accounts->list->count())
        accounts->select(at);
    if (saved)
        saved();
    return true;
}

ToptionsDialog *showOptionsDialog(QWidget *parent, ToptionsPage page)
{
    static QPointer<ToptionsDialog> dialog;
    if (!dialog) {
        dialog = new ToptionsDialog(parent);
        // The tree beside it is redrawn after a save, and shows a protected
        // resource double-clicked on the accounts page.
        TvfsTreeView *tree = parent ? parent->window()->findChild<TvfsTreeView *>() : nullptr;
        if (tree) {
            QPointer<TvfsTreeView> view(tree);
            dialog->saved = [view] {
                if (view)
                    view->refreshNodes();
            };
            dialog->accounts->selectNode = [view](Tfile *f) {
                if (view)
                    view->selectNode(f);
            };
        }
    }
    dialog->load();
    dialog->setPage(page);
    if (opts().modalOptions) {
        dialog->exec();
    } else {
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    }
    return dialog;
}
