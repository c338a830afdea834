#pragma once
// Questions and messages to the operator as modal dialogs of the window.
// Each runs a nested event loop: the server goes on answering meanwhile.
#include "util/prompt.h"

#include <QPointer>

class QWidget;

class TwidgetPrompt : public Tprompt
{
public:
    // Dialogs are centred on `parent` (may be null).
    explicit TwidgetPrompt(QWidget *parent = nullptr);

    void message(const QString &text, TpromptKind kind = PK_INFO) override;
    TpromptButton question(const QString &text, TpromptButtons buttons, TpromptButton safeDefault) override;
    std::optional<QString> askText(const QString &text, const QString &title, const QString &initial,
                                   bool multiLine = false) override;
    int choose(const QString &title, const QStringList &lines, const QStringList &buttons, int safeDefault) override;
    std::optional<Tcredentials> askCredentials(const Tcredentials &initial) override;

private:
    QPointer<QWidget> parent;
};

// Texts of the program use "\r" between lines; dialogs want "\n".
QString dialogText(const QString &text);

class QMessageBox;
// Puts `buttons` on `box`.
void addPromptButtons(QMessageBox &box, TpromptButtons buttons);
// The prompt's button for what QMessageBox::exec() answered; PB_NONE for
// none of them (the box was closed).
TpromptButton promptButtonOf(int answer);
