#include "ui/propertiesDialogPermissions.h"

#include "ui/smallDialogs.h"
#include "util/prompt.h"
#include "vfs/account.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHash>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// In the order of the boxes "Anyone", "Any account", "Anonymous".
const QStringView specialPermissionNames[] = {USER_ANYONE, USER_ANY_ACCOUNT, USER_ANONYMOUS};

Qt::CheckState permissionStateAmong(const QString &name, const QList<QStringList> &lists)
{
    int in = 0;
    for (const QStringList &l : lists)
        in += inList(name, l) ? 1 : 0;
    return in == 0 ? Qt::Unchecked : (in == lists.size() ? Qt::Checked : Qt::PartiallyChecked);
}

void setPermissionBox(QCheckBox *box, Qt::CheckState s)
{
    box->setTristate(s == Qt::PartiallyChecked);
    box->setCheckState(s);
}

} // namespace

TpermissionsTab::TpermissionsTab(Tprompt *ask, QWidget *parent) : QWidget(parent), askIn(ask)
{
    accountList = new QListWidget;
    anyoneBox = new QCheckBox(QStringLiteral("Anyone"));
    anyAccountBox = new QCheckBox(QStringLiteral("Any account"));
    anonymousBox = new QCheckBox(QStringLiteral("Anonymous"));
    allNoneButton = new QPushButton(QStringLiteral("All / None"));
    newAccountButton = new QPushButton(QStringLiteral("New account"));
    manageButton = new QPushButton(QStringLiteral("Manage  accounts"));
    for (QCheckBox *b : {anyoneBox, anyAccountBox})
        connect(b, &QCheckBox::stateChanged, this, &TpermissionsTab::followSpecials);
    connect(allNoneButton, &QPushButton::clicked, this, &TpermissionsTab::allNone);
    connect(newAccountButton, &QPushButton::clicked, this, &TpermissionsTab::newAccount);
    connect(manageButton, &QPushButton::clicked, this, [this] {
        if (manageAccounts)
            manageAccounts();
        reloadAccounts();
    });
    askNewAccount = [this](const QString &user) -> std::optional<std::pair<QString, QString>> {
        const auto pair = askUserPass(this, {user, QString()});
        if (!pair)
            return std::nullopt;
        return std::make_pair(pair->user, pair->password);
    };
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(accountList, 1);
    auto *side = new QVBoxLayout;
    for (QWidget *w : std::initializer_list<QWidget *>{anyoneBox, anyAccountBox, anonymousBox, allNoneButton,
                                                       newAccountButton, manageButton})
        side->addWidget(w);
    side->addStretch();
    layout->addLayout(side);
}

Tprompt &TpermissionsTab::ask() const
{
    return askIn ? *askIn : prompt();
}

void TpermissionsTab::fill(const QStringList &names, const QList<Qt::CheckState> &st)
{
    accountList->clear();
    for (int i = 0; i < names.size(); ++i) {
        auto *item = new QListWidgetItem(names.at(i), accountList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        if (st.at(i) == Qt::PartiallyChecked)
            item->setFlags(item->flags() | Qt::ItemIsUserTristate);
        item->setCheckState(st.at(i));
    }
}

void TpermissionsTab::load(const QList<QStringList> &lists)
{
    const QStringList names = Taccounts::global().accountNames(true, true);
    QList<Qt::CheckState> st;
    for (const QString &n : names)
        st += permissionStateAmong(n, lists);
    fill(names, st);
    setPermissionBox(anyoneBox, permissionStateAmong(USER_ANYONE.toString(), lists));
    setPermissionBox(anyAccountBox, permissionStateAmong(USER_ANY_ACCOUNT.toString(), lists));
    setPermissionBox(anonymousBox, permissionStateAmong(USER_ANONYMOUS.toString(), lists));
    followSpecials();
    loaded = states();
}

void TpermissionsTab::reloadAccounts()
{
    QHash<QString, Qt::CheckState> kept;
    for (int i = 0; i < accountList->count(); ++i)
        kept.insert(accountList->item(i)->text().toLower(), accountList->item(i)->checkState());
    const QStringList names = Taccounts::global().accountNames(true, true);
    QList<Qt::CheckState> st;
    for (const QString &n : names)
        st += kept.value(n.toLower(), Qt::Unchecked);
    fill(names, st);
    followSpecials();
}

QList<int> TpermissionsTab::states() const
{
    QList<int> out;
    for (QCheckBox *b : {anyoneBox, anyAccountBox, anonymousBox})
        out += b->checkState();
    for (int i = 0; i < accountList->count(); ++i)
        out += accountList->item(i)->checkState();
    return out;
}

bool TpermissionsTab::changed() const
{
    return states() != loaded;
}

QStringList TpermissionsTab::names() const
{
    QStringList out;
    const QCheckBox *boxes[] = {anyoneBox, anyAccountBox, anonymousBox};
    for (int i = 0; i < 3; ++i)
        if (boxes[i]->checkState() == Qt::Checked)
            out += specialPermissionNames[i].toString();
    for (int i = 0; i < accountList->count(); ++i)
        if (accountList->item(i)->checkState() == Qt::Checked)
            out += accountList->item(i)->text();
    return out;
}

// "Anyone" covers everything; "Any account" covers the accounts.
void TpermissionsTab::followSpecials()
{
    const bool anyone = anyoneBox->checkState() == Qt::Checked;
    const bool anyAccount = anyAccountBox->checkState() == Qt::Checked;
    accountList->setEnabled(!anyone && !anyAccount);
    anonymousBox->setEnabled(!anyone);
    anyAccountBox->setEnabled(!anyone);
    newAccountButton->setEnabled(!anyone);
}

void TpermissionsTab::allNone()
{
    if (accountList->count() == 0)
        return;
    const Qt::CheckState to = accountList->item(0)->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked;
    for (int i = 0; i < accountList->count(); ++i)
        accountList->item(i)->setCheckState(to);
}

void TpermissionsTab::newAccount()
{
    QString user;
    for (;;) {
        const auto pair = askNewAccount(user);
        if (!pair || pair->first.isEmpty())
            return;
        user = pair->first;
        if (Taccounts::global().accountExists(user, true)) {
            ask().message(MSG_USERNAME_EXISTS, PK_ERROR);
            continue;
        }
        Taccount a;
        a.user = user;
        a.pwd = pair->second;
        Taccounts::global().list += a;
        reloadAccounts();
        for (int i = 0; i < accountList->count(); ++i)
            if (accountList->item(i)->text() == user)
                accountList->item(i)->setCheckState(Qt::Checked);
        return;
    }
}
