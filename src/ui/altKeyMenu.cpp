#include "ui/altKeyMenu.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

TaltKeyMenu::TaltKeyMenu(QWidget *w, std::function<void()> popUpIn)
    : QObject(w), window(w), popUp(std::move(popUpIn))
{
    // Key events go to the focused child: the whole application is watched
    // and only events inside this window count.
    qApp->installEventFilter(this);
}

bool TaltKeyMenu::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type t = event->type();
    if (t == QEvent::KeyPress || t == QEvent::KeyRelease) {
        auto *w = qobject_cast<QWidget *>(watched);
        if (!w || w->window() != window)
            return false;
        const auto *k = static_cast<QKeyEvent *>(event);
        if (k->isAutoRepeat())
            return false;
        if (t == QEvent::KeyPress)
            altAlone = k->key() == Qt::Key_Alt; // its own modifier bit differs by platform
        else if (k->key() == Qt::Key_Alt && altAlone) {
            altAlone = false;
            popUp();
            return true;
        }
    } else if (t == QEvent::MouseButtonPress || t == QEvent::FocusOut) {
        altAlone = false; // Alt with a click, or leaving the window
    }
    return false;
}
