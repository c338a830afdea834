#include "ui/optionsDialogAccountsPage.h"

#include "config/options.h"
#include "ui/widgetPrompt.h"
#include "util/prompt.h"
#include "vfs/vfs.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TaccountList::TaccountList(QWidget *parent) : QListWidget(parent)
{
    setDragDropMode(QAbstractItemView::InternalMove);
}

void TaccountList::dropEvent(QDropEvent *event)
{
    // The list's own moving is not used: the page swaps its records.
    const QListWidgetItem *target = itemAt(event->position().toPoint());
    const int from = currentRow();
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (target && swapRequested && row(target) != from)
        swapRequested(from, row(target));
}

TaccountsPage::TaccountsPage(Tprompt *askIn, QWidget *parent) : ToptionsPageWidget(askIn, parent)
{
    list = new TaccountList;
    list->swapRequested = [this](int from, int to) { swapAccounts(from, to); };
    list->setObjectName(QStringLiteral("accountList"));
    list->installEventFilter(this);
    addButton = new QPushButton(QStringLiteral("ad&d"));
    deleteButton = new QPushButton(QStringLiteral("de&lete"));
    renameButton = new QPushButton(QStringLiteral("&rename"));
    upButton = new QPushButton(QStringLiteral("&up"));
    downButton = new QPushButton(QStringLiteral("do&wn"));
    sortButton = new QPushButton(QStringLiteral("sort"));
    connect(addButton, &QPushButton::clicked, this, &TaccountsPage::addAccount);
    connect(deleteButton, &QPushButton::clicked, this, &TaccountsPage::deleteAccount);
    connect(renameButton, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem *i = list->currentItem())
            list->editItem(i);
    });
    connect(upButton, &QPushButton::clicked, this, [this] { moveAccount(-1); });
    connect(downButton, &QPushButton::clicked, this, [this] { moveAccount(1); });
    connect(sortButton, &QPushButton::clicked, this, &TaccountsPage::sortList);
    connect(list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (filling)
            return;
        storeAccount();
        current = row;
        showAccount();
    });
    connect(list, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        if (!filling && list->row(item) == current)
            renameSelected(item->text());
    });

    enabledBox = new QCheckBox(QStringLiteral("&Enabled"));
    groupBox = new QCheckBox(QStringLiteral("&Group"));
    noLimitsBox = new QCheckBox(QStringLiteral("&Ignore limits"));
    pwdBox = new QLineEdit;
    pwdBox->setEchoMode(QLineEdit::Password);
    connect(pwdBox, &QLineEdit::textChanged, this, [this](const QString &t) { pwdBox->setToolTip(t); });
    redirBox = new QLineEdit;
    connect(redirBox, &QLineEdit::textChanged, this, &TaccountsPage::tintRedir);
    linkBox = new QLineEdit;
    connect(linkBox, &QLineEdit::editingFinished, this, &TaccountsPage::checkLinks);
    chooseButton = new QPushButton(QStringLiteral("Choose..."));
    connect(chooseButton, &QPushButton::clicked, this, &TaccountsPage::chooseGroups);
    notesBox = new QPlainTextEdit;
    wrapBox = new QCheckBox(QStringLiteral("Wrap"));
    connect(wrapBox, &QCheckBox::toggled, this, [this](bool on) {
        opts().accountNotesWrap = on;
        notesBox->setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    });
    resources = new QTreeWidget;
    resources->setHeaderLabel(QStringLiteral("Here you can see protected resources this user can access..."));
    resources->setRootIsDecorated(false);
    connect(resources, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        if (selectNode)
            selectNode(static_cast<Tfile *>(item->data(0, Qt::UserRole).value<void *>()));
    });

    auto *left = new QVBoxLayout;
    auto *warning = new QLabel(QStringLiteral("WARNING: creating an account is not enough to protect  your files..."));
    warning->setToolTip(QStringLiteral("You also need to right click on the folder, then restrict access"));
    warning->setWordWrap(true);
    left->addWidget(new QLabel(QStringLiteral("Account list")));
    left->addWidget(list);
    auto *listButtons = new QGridLayout;
    listButtons->addWidget(addButton, 0, 0);
    listButtons->addWidget(deleteButton, 0, 1);
    listButtons->addWidget(renameButton, 0, 2);
    listButtons->addWidget(upButton, 1, 0);
    listButtons->addWidget(downButton, 1, 1);
    listButtons->addWidget(sortButton, 1, 2);
    left->addLayout(listButtons);
    left->addWidget(warning);

    auto *props = new QFormLayout;
    auto *flags = new QHBoxLayout;
    flags->addWidget(enabledBox);
    flags->addWidget(groupBox);
    flags->addWidget(noLimitsBox);
    props->addRow(flags);
    props->addRow(QStringLiteral("&Password"), pwdBox);
    props->addRow(QStringLiteral("After login, redirect to"), redirBox);
    auto *linkRow = new QHBoxLayout;
    linkRow->addWidget(linkBox);
    linkRow->addWidget(chooseButton);
    props->addRow(QStringLiteral("Member of"), linkRow);
    auto *notesRow = new QHBoxLayout;
    notesRow->addWidget(new QLabel(QStringLiteral("Notes")));
    notesRow->addStretch();
    notesRow->addWidget(wrapBox);
    props->addRow(notesRow);
    props->addRow(notesBox);
    props->addRow(resources);
    auto *right = new QGroupBox;
    right->setLayout(props);

    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(right, 2);
}

void TaccountsPage::load(const ToptionsCopy &c)
{
    accounts.list = c.accounts.list;
    wrapBox->setChecked(opts().accountNotesWrap);
    current = -1;
    showList();
    select(accounts.list.isEmpty() ? -1 : 0);
}

void TaccountsPage::store(ToptionsCopy &c)
{
    storeAccount();
    c.accounts.list = accounts.list;
}

int TaccountsPage::selected() const
{
    return current;
}

void TaccountsPage::select(int index)
{
    list->setCurrentRow(index);
    if (index != current) { // no change signal (same row, or the list was refilled)
        current = index;
        showAccount();
    }
}

void TaccountsPage::showList()
{
    filling = true;
    list->clear();
    for (const Taccount &a : accounts.list) {
        auto *item = new QListWidgetItem(a.user, list);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    filling = false;
}

void TaccountsPage::showAccount()
{
    const bool any = current >= 0 && current < accounts.list.size();
    for (QWidget *w : std::initializer_list<QWidget *>{enabledBox, groupBox, noLimitsBox, pwdBox, redirBox, linkBox,
                                                       chooseButton, notesBox, resources, deleteButton, renameButton,
                                                       upButton, downButton})
        w->setEnabled(any);
    const Taccount a = any ? accounts.list.at(current) : Taccount();
    filling = true;
    enabledBox->setChecked(a.enabled);
    groupBox->setChecked(a.group);
    noLimitsBox->setChecked(a.noLimits);
    pwdBox->setText(a.pwd);
    redirBox->setText(a.redir);
    linkBox->setText(a.link.join(u';'));
    notesBox->setPlainText(a.notes);
    filling = false;
    showResources();
}

// The boxes into the working copy's record.
void TaccountsPage::storeAccount()
{
    if (current < 0 || current >= accounts.list.size())
        return;
    Taccount &a = accounts.list[current];
    a.enabled = enabledBox->isChecked();
    a.group = groupBox->isChecked();
    a.noLimits = noLimitsBox->isChecked();
    a.pwd = pwdBox->text();
    a.redir = redirBox->text();
    a.link.clear();
    for (const QString &l : linkBox->text().split(u';', Qt::SkipEmptyParts))
        if (!l.trimmed().isEmpty())
            a.link += l.trimmed();
    a.notes = notesBox->toPlainText();
}

void TaccountsPage::showResources()
{
    resources->clear();
    if (current < 0 || current >= accounts.list.size())
        return;
    for (const TprotectedResource &r : protectedResources(Tvfs::instance(), accounts, accounts.list.at(current))) {
        auto *item = new QTreeWidgetItem(resources, {r.text});
        item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void *>(r.node)));
    }
}

void TaccountsPage::addAccount()
{
    storeAccount();
    Taccount a;
    a.user = newAccountName(accounts);
    accounts.list += a;
    showList();
    current = -1;
    select(int(accounts.list.size()) - 1);
    list->editItem(list->currentItem());
}

void TaccountsPage::deleteAccount()
{
    if (current < 0 || ask().question(QStringLiteral("Delete?"), PB_YES | PB_NO, PB_NO) != PB_YES)
        return;
    const int at = current;
    accounts.list.removeAt(at);
    current = -1;
    showList();
    select(accounts.list.isEmpty() ? -1 : qMin(at, int(accounts.list.size()) - 1));
}

void TaccountsPage::moveAccount(int by)
{
    swapAccounts(current, current + by);
}

void TaccountsPage::swapAccounts(int from, int to)
{
    if (from < 0 || to < 0 || from >= accounts.list.size() || to >= accounts.list.size() || from == to)
        return;
    storeAccount();
    accounts.list.swapItemsAt(from, to);
    current = -1;
    showList();
    select(to);
}

void TaccountsPage::sortList()
{
    storeAccount();
    const QString name = current >= 0 ? accounts.list.at(current).user : QString();
    sortAccounts(accounts.list);
    current = -1;
    showList();
    int at = 0;
    for (int i = 0; i < accounts.list.size(); ++i)
        if (accounts.list.at(i).user == name)
            at = i;
    select(accounts.list.isEmpty() ? -1 : at);
}

bool TaccountsPage::renameSelected(const QString &typed)
{
    if (current < 0)
        return false;
    const QString old = accounts.list.at(current).user;
    const QString name = typed.trimmed();
    if (name == old)
        return false;
    const QString why = accounts.checkNewName(name, &accounts.list.at(current));
    if (why.isEmpty())
        accounts.rename(old, name);
    else
        ask().message(why, PK_ERROR);
    filling = true;
    list->item(current)->setText(accounts.list.at(current).user);
    filling = false;
    showAccount();
    return why.isEmpty();
}

void TaccountsPage::jumpTo(QChar c)
{
    const int n = int(accounts.list.size());
    for (int step = 1; step <= n; ++step) {
        const int i = (qMax(current, 0) + step) % n;
        if (accounts.list.at(i).user.startsWith(c, Qt::CaseInsensitive)) {
            select(i);
            return;
        }
    }
}

void TaccountsPage::checkLinks()
{
    if (filling || current < 0)
        return;
    const QStringList missing = missingLinkedUsers(accounts, linkBox->text().split(u';'));
    if (!missing.isEmpty())
        ask().message(MSG_MISSING_LINKS.arg(missing.join(QStringLiteral(", "))), PK_WARNING);
    storeAccount();
    showResources();
}

void TaccountsPage::chooseGroups()
{
    QDialog d(this);
    d.setWindowTitle(QStringLiteral("Select groups"));
    auto *choices = new QListWidget;
    const QStringList mine = linkBox->text().split(u';', Qt::SkipEmptyParts);
    for (const QString &g : accounts.accountNames(false, true)) {
        if (current >= 0 && g == accounts.list.at(current).user)
            continue;
        auto *item = new QListWidgetItem(g, choices);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(mine.contains(g, Qt::CaseInsensitive) ? Qt::Checked : Qt::Unchecked);
    }
    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(box, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    auto *layout = new QVBoxLayout(&d);
    layout->addWidget(choices);
    layout->addWidget(box);
    if (d.exec() != QDialog::Accepted)
        return;
    QStringList picked;
    for (int i = 0; i < choices->count(); ++i)
        if (choices->item(i)->checkState() == Qt::Checked)
            picked += choices->item(i)->text();
    linkBox->setText(picked.join(u';'));
    checkLinks();
}

// Red while the text names no item of the tree.
void TaccountsPage::tintRedir()
{
    const QString t = redirBox->text();
    const bool bad = !t.isEmpty() && !Tvfs::instance().findFilebyURL(t);
    redirBox->setStyleSheet(bad ? QStringLiteral("background-color: #ffb0b0") : QString());
    redirBox->setProperty("unknownItem", bad);
}

bool TaccountsPage::eventFilter(QObject *watched, QEvent *event)
{
    // Keys typed into an open name editor go to the editor, not here.
    if (watched != list || event->type() != QEvent::KeyPress)
        return ToptionsPageWidget::eventFilter(watched, event);
    auto *k = static_cast<QKeyEvent *>(event);
    const bool alt = k->modifiers() & Qt::AltModifier;
    if (k->key() == Qt::Key_Insert)
        addAccount();
    else if (k->key() == Qt::Key_Delete)
        deleteAccount();
    else if (k->key() == Qt::Key_F2 && list->currentItem())
        list->editItem(list->currentItem());
    else if (alt && k->key() == Qt::Key_Up)
        moveAccount(-1);
    else if (alt && k->key() == Qt::Key_Down)
        moveAccount(1);
    else if (!alt && k->text().size() == 1 && k->text().at(0).isLetterOrNumber())
        jumpTo(k->text().at(0));
    else
        return ToptionsPageWidget::eventFilter(watched, event);
    return true;
}
