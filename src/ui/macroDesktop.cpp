#include "ui/macroDesktop.h"

#include "ui/mainWindow.h"
#include "ui/trayIcons.h"
#include "ui/widgetPrompt.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>

namespace {

QMessageBox::Icon boxIcon(TdialogIcon icon)
{
    switch (icon) {
    case DI_ERROR: return QMessageBox::Critical;
    case DI_QUESTION: return QMessageBox::Question;
    case DI_WARNING: return QMessageBox::Warning;
    case DI_INFORMATION: return QMessageBox::Information;
    case DI_NONE: break;
    }
    return QMessageBox::NoIcon;
}

TtrayMessageType balloonType(TnotifyIcon icon)
{
    switch (icon) {
    case NI_INFO: return TM_INFO;
    case NI_WARNING: return TM_WARNING;
    case NI_ERROR: return TM_ERROR;
    case NI_NONE: break;
    }
    return TM_NONE;
}

} // namespace

TwindowMacroDesktop::TwindowMacroDesktop(TmainWindow &windowIn, TtrayIcons &trayIn)
    : window(windowIn), tray(trayIn)
{
}

TpromptButton TwindowMacroDesktop::dialog(const TdialogRequest &r)
{
    focusMainWindow();
    QMessageBox box(boxIcon(r.icon), r.caption, dialogText(r.message), QMessageBox::NoButton, &window);
    addPromptButtons(box, r.buttons);
    return promptButtonOf(box.exec());
}

void TwindowMacroDesktop::notify(const QString &message, const QString &title, TnotifyIcon icon, int timeoutSeconds)
{
    tray.notify(message, double(timeoutSeconds), balloonType(icon), title);
}

void TwindowMacroDesktop::play(const QString &)
{
    // Desktops name their sounds differently; the bell is what all have.
    QApplication::beep();
}

QString TwindowMacroDesktop::clipboardText()
{
    return QApplication::clipboard()->text();
}

void TwindowMacroDesktop::setClipboardText(const QString &text)
{
    QApplication::clipboard()->setText(text);
}

void TwindowMacroDesktop::focusMainWindow()
{
    if (window.isMinimized() || !window.isVisible())
        window.showNormal();
    window.raise();
    window.activateWindow();
}
