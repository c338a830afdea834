#pragma once
// The bandwidth graph of the last minutes: out in pink, in in yellow.
#include <QWidget>

class TgraphView : public QWidget
{
    Q_OBJECT
public:
    explicit TgraphView(QWidget *parent = nullptr);
};
