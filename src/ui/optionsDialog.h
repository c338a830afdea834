#pragma once
// The options window: bans, accounts, MIME types, tray message, address
// names and icon masks, edited on working copies (ToptionsCopy) that "&OK"
// and "&Apply" check and save as a whole; "&Cancel" drops them.
#include "config/optionsCopy.h"

#include <QDialog>

#include <functional>

class QPushButton;
class QTabWidget;
class Tprompt;
class TbansPage;
class TaccountsPage;
class TmimePage;
class TtrayMessagePage;
class Taddress2namePage;
class TiconMasksPage;

enum ToptionsPage { OP_BANS, OP_ACCOUNTS, OP_MIME, OP_TRAY_MESSAGE, OP_ADDRESS2NAME, OP_ICON_MASKS };

class ToptionsDialog : public QDialog
{
    Q_OBJECT
public:
    // Messages and questions go to `ask` (the program's prompt when null).
    explicit ToptionsDialog(QWidget *parent = nullptr, Tprompt *ask = nullptr);

    // Working copies from the live options and accounts; the pages offered
    // follow the mode.
    void load();
    // `page` current, shown even when the mode hides its tab.
    void setPage(ToptionsPage page);
    ToptionsPage page() const;
    // Checks, then saves; false (nothing saved) on the first failure or when
    // the operator declines a warning.
    bool save();

    TbansPage *bans;
    TaccountsPage *accounts;
    TmimePage *mime;
    TtrayMessagePage *trayMessage;
    Taddress2namePage *address2name;
    TiconMasksPage *iconMasks;
    QTabWidget *tabs;
    QPushButton *okButton, *applyButton, *cancelButton;

    // After a save: the window redraws the tree and the connections.
    std::function<void()> saved;

private:
    Tprompt &ask() const;
    Tprompt *askIn;
};

// Opens the program's options window on `page` (modal when the options say
// so) and returns it.
ToptionsDialog *showOptionsDialog(QWidget *parent, ToptionsPage page);
