#pragma once
// The log: the lines of the log model with their colours, and the log's search tools.
#include <QPlainTextEdit>

class TlogView : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TlogView(QWidget *parent = nullptr);
};
