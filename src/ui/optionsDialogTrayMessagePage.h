#pragma once
// "Tray Message": the tip of the tray icon, with a preview of its symbols
// replaced while it is typed.
#include "ui/optionsDialogPage.h"

#include <functional>

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
    QLabel *preview;
    // The tip made of a template (the tray's own function when the tray is
    // there; the text itself otherwise).
    static std::function<QString(const QString &)> &tipOf();

private:
    void updatePreview();
};
