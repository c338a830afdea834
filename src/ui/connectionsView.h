#pragma once
// One row per connection: address, file, status, speed, time left, progress.
#include <QTreeWidget>

class TconnectionsView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit TconnectionsView(QWidget *parent = nullptr);
};
