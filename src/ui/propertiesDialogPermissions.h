#pragma once
// One action's tab of the properties window: the accounts with check boxes
// and the special names "Anyone", "Any account" and "Anonymous".
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>

class QCheckBox;
class QListWidget;
class QPushButton;
class Tprompt;

class TpermissionsTab : public QWidget
{
    Q_OBJECT
public:
    explicit TpermissionsTab(Tprompt *ask, QWidget *parent = nullptr);

    // `lists`: the action's list on each node it applies to. A name on every
    // list is checked, on some of them mixed.
    void load(const QList<QStringList> &lists);
    // The list shown now: the checked names (special names first).
    QStringList names() const;
    // Whether the operator changed anything since load().
    bool changed() const;

    // "All / None": flips the first account, the others follow it.
    void allNone();
    // Asks a user and password (again while the name is taken), adds an
    // enabled account and checks it.
    void newAccount();
    // The accounts again (after they were managed), checks kept.
    void reloadAccounts();

    QListWidget *accountList;
    QCheckBox *anyoneBox, *anyAccountBox, *anonymousBox;
    QPushButton *allNoneButton, *newAccountButton, *manageButton;
    // "Manage  accounts": the options window on its Accounts page.
    std::function<void()> manageAccounts;
    // Asks for the new account's user and password (the window by default).
    std::function<std::optional<std::pair<QString, QString>>(const QString &user)> askNewAccount;

private:
    void followSpecials();
    QList<int> states() const;
    void fill(const QStringList &names, const QList<Qt::CheckState> &states);
    Tprompt &ask() const;

    Tprompt *askIn;
    QList<int> loaded;
};

inline const QString MSG_USERNAME_EXISTS = QStringLiteral("Username already exists");
