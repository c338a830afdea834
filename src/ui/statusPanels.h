#pragma once
// The status bar's panels as the statistics build them once a second: one
// label per panel, made or dropped as the list grows or shrinks, each as
// wide as its text plus 20 pixels; the temporary message last. A click on a
// panel runs its command.
#include "log/statusPanels.h"

#include <QList>
#include <QObject>

#include <functional>

class QLabel;
class QStatusBar;

struct TstatusClicks
{
    // Commands of other windows; a panel without one does nothing.
    std::function<void()> bans;          // "Ban rules"
    std::function<void()> template_;     // "Customized template"
    std::function<void()> outOfSpace;    // "Out of space"
    std::function<void()> speedLimit;    // "Out: ..."
    std::function<void()> saveTree;      // "VFS: ... - not saved"
};

class TstatusBarPanels : public QObject
{
    Q_OBJECT
public:
    explicit TstatusBarPanels(QStatusBar *bar);

    void show(const QList<TstatusPanel> &panels);
    const QList<TstatusPanel> &shown() const { return current; }
    QLabel *label(int i) const { return labels.value(i); }

    // What a click on a panel does; true when it did something.
    bool click(const TstatusPanel &panel);

    TstatusClicks clicks;

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    QStatusBar *bar;
    QList<QLabel *> labels;
    QList<TstatusPanel> current;
};
