#pragma once
// The Alt key pressed and released alone pops up a menu, as F10 does.
#include <QObject>

#include <functional>

class QWidget;

class TaltKeyMenu : public QObject
{
public:
    // Watches the key events that reach `window` and its children;
    // `popUp` shows the menu.
    TaltKeyMenu(QWidget *window, std::function<void()> popUp);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window;
    std::function<void()> popUp;
    bool altAlone = false; // Alt is down and nothing else happened since
};
