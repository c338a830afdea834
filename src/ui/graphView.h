#pragma once
// The bandwidth graph: the samples of the traffic graph (out pink, in
// yellow over it) on a grid, with the top speed and the global limit. It is
// drawn off screen and copied in one step.
#include <QColor>
#include <QWidget>

class Tgraph;

class TgraphView : public QWidget
{
    Q_OBJECT
public:
    explicit TgraphView(QWidget *parent = nullptr);

    // The graph drawn (the program's traffic graph unless set).
    void setGraph(Tgraph *g);
    Tgraph &graph() const;

    // Shown in expert mode; in easy mode only after "Show bandwidth graph",
    // which keeps it shown across mode switches until "Hide".
    void followMode(bool expert);
    void showGraph();  // "Show bandwidth graph"
    void hideGraph();  // "Hide"
    void resetGraph(); // "Reset": the history emptied and drawn again
    bool shownAlways() const { return pinned; }

    // The "Top speed" caption as drawn, and the limit caption (empty when
    // no global limit is set).
    QString topSpeedCaption() const;
    QString limitCaption() const;

    // Replaceable colours: background, grid, out, in, text.
    QColor colours[5] = {Qt::black, QColor(0, 0, 128), QColor(255, 105, 180), Qt::yellow, Qt::lightGray};

    // Draws the picture for the current size.
    QPixmap render() const;

protected:
    void paintEvent(QPaintEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;

private:
    Tgraph *source = nullptr;
    bool pinned = false;
};
