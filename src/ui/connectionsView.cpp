#include "ui/connectionsView.h"

#include "config/options.h"
#include "http/httpSrv.h"
#include "serve/connCommands.h"
#include "serve/serve.h"

#include <QContextMenuEvent>
#include <QHash>
#include <QHeaderView>
#include <QPixmap>
#include <QHelpEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>

namespace {

// The Progress cell: the whole file, the part being sent within it, the
// share of that part done, and the percentage in small type.
class TprogressDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const auto *m = static_cast<const TconnectionsModel *>(index.model());
        const TconnRow &r = m->rowAt(index.row());
        if (r.progress.isEmpty() || r.whole <= 0) {
            QStyledItemDelegate::paint(p, option, index);
            return;
        }
        p->save();
        const QRect box = option.rect.adjusted(2, 3, -2, -3);
        p->fillRect(box, QColor(230, 230, 230));
        const double scale = double(box.width()) / double(r.whole);
        const int partX = box.left() + int(r.partStart * scale);
        const int partW = std::max(1, int(r.partSize * scale));
        p->fillRect(QRect(partX, box.top(), partW, box.height()), QColor(180, 200, 240));
        const int doneW = int(r.partDone * scale);
        p->fillRect(QRect(partX, box.top(), std::min(doneW, partW), box.height()), QColor(60, 120, 220));
        QFont small = option.font;
        small.setPointSizeF(std::max(6.0, small.pointSizeF() - 2));
        p->setFont(small);
        p->setPen(Qt::black);
        p->drawText(box, Qt::AlignCenter, r.progress);
        p->restore();
    }
};

QVariant connIconColour(TconnRowIcon icon)
{
    switch (icon) {
    case CRI_DISCONNECTED: return QColor(Qt::gray);
    case CRI_DOWNLOAD: return QColor(Qt::darkGreen);
    case CRI_UPLOAD: return QColor(Qt::darkBlue);
    case CRI_CONNECTED: break;
    }
    return {};
}

// A small dot in the row's colour: grey ended, green download, blue upload.
QVariant connIcon(TconnRowIcon icon)
{
    const QVariant colour = connIconColour(icon);
    if (!colour.isValid())
        return {};
    static QHash<int, QPixmap> made;
    QPixmap &dot = made[int(icon)];
    if (dot.isNull()) {
        dot = QPixmap(10, 10);
        dot.fill(Qt::transparent);
        QPainter p(&dot);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour.value<QColor>());
        p.drawEllipse(1, 1, 8, 8);
    }
    return dot;
}

const char *const connColumnTitles[CC_COUNT] = {"IP address", "File", "Status", "Speed", "Time left", "Progress"};

} // namespace

int TconnectionsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

int TconnectionsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : CC_COUNT;
}

QVariant TconnectionsModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < CC_COUNT)
        return QString::fromLatin1(connColumnTitles[section]);
    return {};
}

QVariant TconnectionsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size())
        return {};
    const TconnRow &r = rows.at(index.row());
    if (role == Qt::ToolTipRole)
        return QString(r.tooltip).replace(u'\r', u'\n');
    if (role == Qt::ForegroundRole && index.column() == CC_ADDRESS)
        return connIconColour(r.icon);
    if (role == Qt::DecorationRole && index.column() == CC_ADDRESS)
        return connIcon(r.icon);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case CC_ADDRESS: return r.address;
    case CC_FILE: return r.file;
    case CC_STATUS: return r.status;
    case CC_SPEED: return r.speed;
    case CC_TIME_LEFT: return r.timeLeft;
    case CC_PROGRESS: return r.progress;
    }
    return {};
}

int TconnectionsModel::refresh(const QList<ThttpConn *> &now)
{
    const int before = int(rows.size()), after = int(now.size());
    if (after < before) {
        beginRemoveRows({}, after, before - 1);
        rows.resize(after);
        conns.resize(after);
        endRemoveRows();
    }
    int first = -1, last = -1, changed = 0;
    for (int i = 0; i < std::min(before, after); ++i) {
        TconnRow r = connRow(*now[i]);
        conns[i] = now[i];
        if (r == rows[i])
            continue;
        rows[i] = std::move(r);
        if (first < 0)
            first = i;
        last = i;
        ++changed;
    }
    if (first >= 0)
        Q_EMIT dataChanged(index(first, 0), index(last, CC_COUNT - 1));
    if (after > before) {
        beginInsertRows({}, before, after - 1);
        for (int i = before; i < after; ++i) {
            rows.append(connRow(*now[i]));
            conns.append(now[i]);
        }
        endInsertRows();
        changed += after - before;
    }
    return changed + std::max(0, before - after);
}

ThttpConn *TconnectionsModel::connAt(int row) const
{
    return row >= 0 && row < conns.size() ? conns.at(row) : nullptr;
}

TconnectionsView::TconnectionsView(QWidget *parent)
    : QTreeView(parent), model_(new TconnectionsModel(this))
{
    setModel(model_);
    setRootIsDecorated(false);
    setUniformRowHeights(true); // rows of one height: no measuring of 1,000 rows
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setItemDelegateForColumn(CC_PROGRESS, new TprogressDelegate(this));
    header()->setStretchLastSection(true);
    const QList<TconnColumn> &widths = opts().connectionsColumns;
    for (int i = 0; i < std::min<qsizetype>(widths.size(), CC_COUNT); ++i)
        if (widths[i].width > 0)
            setColumnWidth(i, int(widths[i].width));
    // The widths the operator gives are kept with the options.
    connect(header(), &QHeaderView::sectionResized, this, [](int i, int, int width) {
        QList<TconnColumn> &cols = opts().connectionsColumns;
        if (i >= 0 && i < cols.size())
            cols[i].width = width;
    });
}

int TconnectionsView::refresh()
{
    refreshQueued = false;
    lastRefresh.start();
    return model_->refresh(serveExists() ? listedConnections(serve().srv()) : QList<ThttpConn *>());
}

void TconnectionsView::refreshSoon()
{
    if (refreshQueued)
        return;
    refreshQueued = true;
    const qint64 since = lastRefresh.isValid() ? lastRefresh.elapsed() : minRefreshMs;
    QTimer::singleShot(int(std::max<qint64>(0, minRefreshMs - since)), this, [this] {
        if (refreshQueued)
            refresh();
    });
}

ThttpConn *TconnectionsView::selectedConnection() const
{
    const QModelIndexList sel = selectionModel()->selectedRows();
    if (sel.isEmpty() || !serveExists())
        return nullptr;
    ThttpConn *c = model_->connAt(sel.first().row());
    return stillListed(serve().srv(), c) ? c : nullptr;
}

void TconnectionsView::contextMenuEvent(QContextMenuEvent *e)
{
    if (contextMenuRequested)
        contextMenuRequested(e->globalPos());
}

bool TconnectionsView::viewportEvent(QEvent *e)
{
    if (e->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(e);
        if (!indexAt(help->pos()).isValid()) {
            if (opts().hints4newcomers)
                QToolTip::showText(help->globalPos(), QStringLiteral("This box shows info about current connections"),
                                   viewport());
            else
                QToolTip::hideText();
            return true;
        }
    }
    return QTreeView::viewportEvent(e);
}
