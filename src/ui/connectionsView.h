#pragma once
// The connections: one row per connection, the open ones then those that
// ended and are not released yet. A refresh compares each row with what it
// showed and reports only the rows that changed, so a thousand connections
// cost a thousand comparisons, not a rebuilt list.
#include "serve/connRow.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QList>
#include <QTreeView>

#include <functional>

class ThttpConn;

enum TconnColumnIndex { CC_ADDRESS, CC_FILE, CC_STATUS, CC_SPEED, CC_TIME_LEFT, CC_PROGRESS, CC_COUNT };

class TconnectionsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // Takes the connections' rows now; returns how many rows changed.
    int refresh(const QList<ThttpConn *> &conns);
    // The connection shown in `row` at the last refresh (compare it with
    // the server's lists before use), and its row.
    ThttpConn *connAt(int row) const;
    const TconnRow &rowAt(int row) const { return rows.at(row); }

private:
    QList<ThttpConn *> conns;
    QList<TconnRow> rows;
};

class TconnectionsView : public QTreeView
{
    Q_OBJECT
public:
    explicit TconnectionsView(QWidget *parent = nullptr);

    TconnectionsModel *connections() const { return model_; }
    // From the server now (nothing without one); returns the changed rows.
    int refresh();
    // A refresh soon, at most a few times a second however often it is asked.
    void refreshSoon();
    static constexpr int minRefreshMs = 250;

    // The selected row's connection while the server still lists it.
    ThttpConn *selectedConnection() const;

    // Filled by the window: what the context menu offers.
    std::function<void(const QPoint &globalPos)> contextMenuRequested;

protected:
    void contextMenuEvent(QContextMenuEvent *e) override;
    bool viewportEvent(QEvent *e) override;

private:
    TconnectionsModel *model_;
    QElapsedTimer lastRefresh;
    bool refreshQueued = false;
};
