#pragma once
// "Accounts": the list of users and groups and the properties of the
// selected one, with the protected resources it can reach.
#include "ui/optionsDialogPage.h"

#include <QListWidget>

#include <functional>

class QCheckBox;
class QLineEdit;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class Tfile;

// The account list: dropping an account onto another swaps the two.
class TaccountList : public QListWidget
{
    Q_OBJECT
public:
    explicit TaccountList(QWidget *parent = nullptr);
    std::function<void(int from, int to)> swapRequested;

protected:
    void dropEvent(QDropEvent *event) override;
};

class TaccountsPage : public ToptionsPageWidget
{
    Q_OBJECT
public:
    explicit TaccountsPage(Tprompt *ask, QWidget *parent = nullptr);
    void load(const ToptionsCopy &c) override;
    void store(ToptionsCopy &c) override;

    // The list's commands.
    void addAccount();
    void deleteAccount(); // asks "Delete?"
    void moveAccount(int by);
    // Swaps two accounts (a drop of one onto the other).
    void swapAccounts(int from, int to);
    void sortList();
    // Renames the selected account (the in-place edit's end); a refused name
    // is shown and the old one comes back.
    bool renameSelected(const QString &newName);
    // A letter or digit: the next account after the selected one (wrapping)
    // whose name starts with it.
    void jumpTo(QChar c);
    // "Member of" left: names that are not accounts are reported.
    void checkLinks();
    int selected() const;
    void select(int index);
    // The working copy as edited so far.
    const Taccounts &working() const { return accounts; }

    TaccountList *list;
    QPushButton *addButton, *deleteButton, *renameButton, *upButton, *downButton, *sortButton;
    QCheckBox *enabledBox, *groupBox, *noLimitsBox, *wrapBox;
    QLineEdit *pwdBox, *redirBox, *linkBox;
    QPushButton *chooseButton;
    QPlainTextEdit *notesBox;
    QTreeWidget *resources;
    // A double click on a protected resource: the main window selects the node.
    std::function<void(Tfile *)> selectNode;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showList();
    void showAccount();
    void storeAccount();
    void showResources();
    void chooseGroups();
    void tintRedir();

    Taccounts accounts;
    int current = -1;
    bool filling = false;
};
