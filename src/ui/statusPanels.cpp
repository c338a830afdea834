#include "ui/statusPanels.h"

#include "serve/trafficTotals.h"
#include "util/prompt.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QStatusBar>

TstatusBarPanels::TstatusBarPanels(QStatusBar *barIn)
    : QObject(barIn), bar(barIn)
{
}

void TstatusBarPanels::show(const QList<TstatusPanel> &panels)
{
    while (labels.size() > panels.size()) {
        QLabel *l = labels.takeLast();
        bar->removeWidget(l);
        delete l;
    }
    while (labels.size() < panels.size()) {
        auto *l = new QLabel;
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        l->installEventFilter(this);
        bar->addWidget(l);
        labels.append(l);
    }
    for (int i = 0; i < panels.size(); ++i) {
        QLabel *l = labels[i];
        const TstatusPanel &p = panels[i];
        if (l->text() != p.text)
            l->setText(p.text);
        if (p.kind == SP_MESSAGE) {
            l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            l->setMinimumWidth(0);
            l->setMaximumWidth(QWIDGETSIZE_MAX);
        } else {
            l->setAlignment(Qt::AlignCenter);
            l->setFixedWidth(l->fontMetrics().horizontalAdvance(p.text) + 20);
        }
    }
    current = panels;
}

bool TstatusBarPanels::click(const TstatusPanel &panel)
{
    const auto run = [](const std::function<void()> &f) {
        if (f)
            f();
        return bool(f);
    };
    switch (panel.kind) {
    case SP_TOTAL_OUT:
    case SP_TOTAL_IN:
        if (prompt().question(QStringLiteral("Do you want to reset total in/out?"), PB_YES | PB_NO, PB_NO) != PB_YES)
            return false;
        resetByteTotals();
        return true;
    case SP_BANS: return run(clicks.bans);
    case SP_TEMPLATE: return run(clicks.template_);
    case SP_OUT_OF_SPACE: return run(clicks.outOfSpace);
    case SP_OUT: return run(clicks.speedLimit);
    case SP_VFS:
        return panel.text.endsWith(QStringLiteral(" - not saved")) && run(clicks.saveTree);
    default: return false;
    }
}

bool TstatusBarPanels::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
        auto *me = static_cast<QMouseEvent *>(e);
        const qsizetype i = labels.indexOf(static_cast<QLabel *>(watched));
        if (me->button() == Qt::LeftButton && i >= 0 && i < current.size()) {
            click(current[i]);
            return true;
        }
    }
    return QObject::eventFilter(watched, e);
}
