#pragma once
// "MIME types": file masks and the type sent for them.
#include "ui/optionsDialogPage.h"

class QCheckBox;
class QPushButton;

class TmimePage : public ToptionsPageWidget
{
    Q_OBJECT
public:
    explicit TmimePage(Tprompt *ask, QWidget *parent = nullptr);
    void load(const ToptionsCopy &c) override;
    void store(ToptionsCopy &c) override;

    TtextGrid *grid;
    QCheckBox *inBrowserBox;
    QPushButton *addButton, *deleteButton;
};
