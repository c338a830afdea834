#include "ui/graphView.h"

#include "app/statsWiring.h"
#include "config/options.h"
#include "log/graph.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

TgraphView::TgraphView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumHeight(30);
    setFixedHeight(int(std::max<qint64>(30, opts().graphSize)));
    if (opts().hints4newcomers)
        setToolTip(QStringLiteral("Pink = Out\nYellow = In"));
}

void TgraphView::setGraph(Tgraph *g)
{
    source = g;
    update();
}

Tgraph &TgraphView::graph() const
{
    return source ? *source : trafficGraph();
}

void TgraphView::followMode(bool expert)
{
    setVisible(pinned || (expert && opts().graphVisible));
}

void TgraphView::showGraph()
{
    pinned = true;
    opts().graphVisible = true;
    setVisible(true);
}

void TgraphView::hideGraph()
{
    pinned = false;
    opts().graphVisible = false;
    setVisible(false);
}

void TgraphView::resetGraph()
{
    graph().reset();
    update();
}

QString TgraphView::topSpeedCaption() const
{
    return QStringLiteral("Top speed: ") + topSpeedText(topSpeed(graph().peak(), opts().graphRate));
}

QString TgraphView::limitCaption() const
{
    const double limit = opts().speedLimit;
    if (limit < 0)
        return {};
    return QStringLiteral("Limit: ") + QString::number(limit, 'f', 1) + QStringLiteral(" kB/s");
}

QPixmap TgraphView::render() const
{
    QPixmap pic(size());
    pic.fill(colours[0]);
    QPainter p(&pic);
    const int w = width(), h = height();
    p.setPen(colours[1]);
    for (int x = 0; x < w; x += 10)
        p.drawLine(x, 0, x, h);
    for (int y = 0; y < h; y += 10)
        p.drawLine(0, y, w, y);
    const Tgraph &g = graph();
    const double top = double(std::max<qint64>(g.peak(), 1));
    const int columns = std::min(w, Tgraph::samples);
    // Newest sample on the left, as the arrays are kept.
    p.setPen(colours[2]);
    for (int x = 0; x < columns; ++x)
        if (const qint64 v = g.sent(x); v > 0)
            p.drawLine(x, h, x, h - int(h * double(v) / top));
    p.setPen(colours[3]);
    for (int x = 0; x < columns; ++x)
        if (const qint64 v = g.received(x); v > 0)
            p.drawLine(x, h, x, h - int(h * double(v) / top));
    QFont small = font();
    small.setPointSize(7);
    p.setFont(small);
    p.setPen(colours[4]);
    const QString caption = topSpeedCaption();
    const int capW = p.fontMetrics().horizontalAdvance(caption);
    p.drawText(w - 20 - capW, p.fontMetrics().ascent(), caption);
    if (const QString limit = limitCaption(); !limit.isEmpty())
        p.drawText(w - 155, 15 + p.fontMetrics().ascent(), limit);
    return pic;
}

void TgraphView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawPixmap(0, 0, render());
}

void TgraphView::contextMenuEvent(QContextMenuEvent *e)
{
    QMenu menu;
    menu.addAction(QStringLiteral("Reset"), this, &TgraphView::resetGraph);
    menu.addAction(QStringLiteral("Hide"), this, &TgraphView::hideGraph);
    menu.exec(e->globalPos());
}
