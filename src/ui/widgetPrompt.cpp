#include "ui/widgetPrompt.h"

#include "ui/smallDialogs.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const struct
{
    TpromptButton ours;
    QMessageBox::StandardButton theirs;
} buttonMap[] = {
    {PB_OK, QMessageBox::Ok},         {PB_CANCEL, QMessageBox::Cancel}, {PB_YES, QMessageBox::Yes},
    {PB_NO, QMessageBox::No},         {PB_ABORT, QMessageBox::Abort},   {PB_RETRY, QMessageBox::Retry},
    {PB_IGNORE, QMessageBox::Ignore},
};

QString appTitle()
{
    return QCoreApplication::applicationName();
}

} // namespace

QString dialogText(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

TwidgetPrompt::TwidgetPrompt(QWidget *parentIn)
    : parent(parentIn)
{
}

void TwidgetPrompt::message(const QString &text, TpromptKind kind)
{
    const QMessageBox::Icon icon = kind == PK_ERROR     ? QMessageBox::Critical
                                   : kind == PK_WARNING ? QMessageBox::Warning
                                                        : QMessageBox::Information;
    QMessageBox box(icon, appTitle(), dialogText(text), QMessageBox::Ok, parent);
    box.exec();
}

void addPromptButtons(QMessageBox &box, TpromptButtons buttons)
{
    for (const auto &b : buttonMap)
        if (buttons & b.ours)
            box.addButton(b.theirs);
}

TpromptButton promptButtonOf(int answer)
{
    for (const auto &b : buttonMap)
        if (answer == b.theirs)
            return b.ours;
    return PB_NONE;
}

TpromptButton TwidgetPrompt::question(const QString &text, TpromptButtons buttons, TpromptButton safeDefault)
{
    QMessageBox box(QMessageBox::Question, appTitle(), dialogText(text), QMessageBox::NoButton, parent);
    addPromptButtons(box, buttons);
    for (const auto &b : buttonMap)
        if (b.ours == safeDefault)
            box.setDefaultButton(b.theirs);
    if (const TpromptButton answer = promptButtonOf(box.exec()); answer != PB_NONE)
        return answer;
    // Closed without a button: the answer that changes nothing.
    return (buttons & PB_CANCEL) ? PB_CANCEL : safeDefault;
}

std::optional<QString> TwidgetPrompt::askText(const QString &text, const QString &title, const QString &initial,
                                              bool multiLine)
{
    bool ok = false;
    const QString label = dialogText(text);
    const QString caption = title.isEmpty() ? appTitle() : title;
    const QString answer = multiLine ? QInputDialog::getMultiLineText(parent, caption, label, initial, &ok)
                                     : QInputDialog::getText(parent, caption, label, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

int TwidgetPrompt::choose(const QString &title, const QStringList &lines, const QStringList &buttons, int)
{
    QMessageBox box(QMessageBox::Question, title.isEmpty() ? appTitle() : title, dialogText(lines.join(u'\r')),
                    QMessageBox::NoButton, parent);
    QList<QAbstractButton *> added;
    for (const QString &caption : buttons)
        added += box.addButton(caption, QMessageBox::AcceptRole);
    box.exec();
    return int(added.indexOf(box.clickedButton()));
}

std::optional<Tprompt::Tcredentials> TwidgetPrompt::askCredentials(const Tcredentials &initial)
{
    return askUserPass(parent, initial);
}
