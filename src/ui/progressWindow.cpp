#include "ui/progressWindow.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TprogressWindow::TprogressWindow(QWidget *parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("progressWindow"));
    auto *layout = new QVBoxLayout(this);
    msg = new QLabel;
    msg->setAlignment(Qt::AlignCenter);
    bar = new QProgressBar;
    bar->setRange(0, 100);
    cancelBtn = new QPushButton(QStringLiteral("&Cancel"));
    cancelBtn->setVisible(false);
    connect(cancelBtn, &QPushButton::clicked, this, [this] { cancelled = true; });
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancelBtn);
    buttons->addStretch();
    layout->addWidget(msg);
    layout->addWidget(bar);
    layout->addLayout(buttons);
    setMinimumWidth(200);
}

void TprogressWindow::showProgress(const QString &caption, bool cancel)
{
    cancelled = false;
    if (isHidden())
        reset();
    setCaption(caption);
    if (cancel)
        showCancel();
    place();
    show();
    raise();
}

void TprogressWindow::hideProgress()
{
    hideCancel();
    hide();
}

void TprogressWindow::push(double sublength)
{
    Q_ASSERT(sublength <= 1);
    stack += Tsaved{position, partialLength};
    partialLength *= qMin(sublength, 1.0);
}

void TprogressWindow::pop()
{
    Q_ASSERT(!stack.isEmpty());
    if (stack.isEmpty())
        return;
    setProgress(1);
    partialLength = stack.takeLast().partialLength;
}

void TprogressWindow::reset()
{
    stack.clear();
    partialLength = 1;
    position = 0;
    bar->setValue(0);
}

void TprogressWindow::setProgress(double x)
{
    // The current part starts where the last push found the bar.
    const double start = stack.isEmpty() ? 0 : stack.last().start;
    const double p = start + x * partialLength;
    if (preventBackward && p < position)
        return;
    position = p;
    bar->setValue(barValue());
}

int TprogressWindow::barValue() const
{
    return qBound(0, int(position * 100), 100);
}

void TprogressWindow::setCaption(const QString &caption)
{
    msg->setText(caption);
    place();
}

QString TprogressWindow::caption() const
{
    return msg->text();
}

void TprogressWindow::showCancel()
{
    cancelBtn->setVisible(true);
}

void TprogressWindow::hideCancel()
{
    cancelBtn->setVisible(false);
}

// Centred on the screen, as wide as the caption needs.
void TprogressWindow::place()
{
    adjustSize();
    resize(qMax(200, sizeHint().width()), sizeHint().height());
    if (QScreen *s = screen() ? screen() : QApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

TprogressWindow &progressWindow()
{
    static TprogressWindow *w = new TprogressWindow;
    return *w;
}
