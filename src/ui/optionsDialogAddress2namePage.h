#pragma once
// "Address2name": labels the log shows for addresses.
#include "ui/optionsDialogPage.h"

class QPushButton;

class Taddress2namePage : public ToptionsPageWidget
{
    Q_OBJECT
public:
    explicit Taddress2namePage(Tprompt *ask, QWidget *parent = nullptr);
    void load(const ToptionsCopy &c) override;
    void store(ToptionsCopy &c) override;
    // Selects the last row whose mask matches `address`, or inserts a row
    // holding it, and opens its cell for editing. Returns the row.
    int focusAddress(const QString &address);

    TtextGrid *grid;
    QPushButton *addButton, *deleteButton;
};
