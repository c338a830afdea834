#pragma once
// "Tray Message": the tip of the tray icon, with a preview of its symbols
// replaced while it is typed.
#include "ui/optionsDialogPage.h"

class QLabel;
class QPlainTextEdit;

class TtrayMessagePage : public ToptionsPageWidget
{
    Q_OBJECT
public:
    explicit TtrayMessagePage(Tprompt *ask, QWidget *parent = nullptr);
    void load(const ToptionsCopy &c) override;
    void store(ToptionsCopy &c) override;

    QPlainTextEdit *textBox;
    QLabel *preview; // the tip as the tray icon would show it now

private:
    void updatePreview();
};
