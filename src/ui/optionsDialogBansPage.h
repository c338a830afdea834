#pragma once
// "Bans": address masks with comments, sorted on request, and whether a
// banned address gets no reply at all.
#include "ui/optionsDialogPage.h"

class QCheckBox;
class QPushButton;

class TbansPage : public ToptionsPageWidget
{
    Q_OBJECT
public:
    explicit TbansPage(Tprompt *ask, QWidget *parent = nullptr);
    void load(const ToptionsCopy &c) override;
    void store(ToptionsCopy &c) override;
    void sortRows();

    TtextGrid *grid;
    QCheckBox *noReplyBox;
    QPushButton *addButton, *deleteButton, *sortButton, *invertHelpButton;
};

extern const QString MSG_INVERT_BANS;
