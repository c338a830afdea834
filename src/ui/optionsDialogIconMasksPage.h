#pragma once
// "Icon masks": one file mask per line, each with the image chosen for it
// in the drop-down, which follows the line under the caret.
#include "ui/optionsDialogPage.h"

#include <QHash>

class QComboBox;
class QPlainTextEdit;

class TiconMasksPage : public ToptionsPageWidget
{
    Q_OBJECT
public:
    explicit TiconMasksPage(Tprompt *ask, QWidget *parent = nullptr);
    void load(const ToptionsCopy &c) override;
    void store(ToptionsCopy &c) override;
    // The drop-down shows the image of the line under the caret (the
    // heartbeat calls it while the page is shown).
    void followCaret();

    QPlainTextEdit *textBox;
    QComboBox *imageBox;

private:
    QString caretLine() const;
    QHash<QString, int> images; // trimmed mask -> image index
};
