#include "ui/windowSnapshot.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QStatusBar>
#include <QWidget>

namespace {

void dumpRows(const QAbstractItemModel &m, const QModelIndex &parent, int depth, QString &out)
{
    for (int r = 0; r < m.rowCount(parent); ++r) {
        QStringList cols;
        for (int c = 0; c < m.columnCount(parent); ++c)
            cols += m.index(r, c, parent).data().toString();
        out += QString(depth * 2, u' ') + cols.join(u'\t') + u'\n';
        const QModelIndex child = m.index(r, 0, parent);
        if (m.hasChildren(child))
            dumpRows(m, child, depth + 1, out);
    }
}

QString nameOf(const QWidget *w)
{
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

} // namespace

QString windowTextDump(QWidget &w)
{
    QString out = QStringLiteral("[title]\n") + w.windowTitle() + u'\n';
    for (const QAbstractItemView *v : w.findChildren<QAbstractItemView *>()) {
        // Headers repeat their view's model; combo box lists are popups.
        if (!v->model() || qobject_cast<const QHeaderView *>(v) || v->inherits("QComboBoxListView")
            || v->window() != &w)
            continue;
        out += u'[' + nameOf(v) + QStringLiteral("]\n");
        dumpRows(*v->model(), v->rootIndex(), 0, out);
    }
    for (const QPlainTextEdit *e : w.findChildren<QPlainTextEdit *>())
        out += u'[' + nameOf(e) + QStringLiteral("]\n") + e->toPlainText() + u'\n';
    out += QStringLiteral("[controls]\n");
    for (const QAbstractButton *b : w.findChildren<QAbstractButton *>())
        if (b->isVisibleTo(&w) && !b->text().isEmpty())
            out += b->text() + u'\n';
    for (const QLineEdit *e : w.findChildren<QLineEdit *>())
        if (e->isVisibleTo(&w))
            out += nameOf(e) + QStringLiteral(": ") + e->text() + u'\n';
    for (const QStatusBar *s : w.findChildren<QStatusBar *>()) {
        out += QStringLiteral("[statusBar]\n");
        for (const QLabel *l : s->findChildren<QLabel *>())
            if (!l->text().isEmpty())
                out += l->text() + u'\n';
    }
    return out;
}

bool writeWindowSnapshot(QWidget &w, const QString &pngPath)
{
    QSaveFile png(pngPath);
    if (!png.open(QIODevice::WriteOnly) || !w.grab().save(&png, "PNG") || !png.commit())
        return false;
    QSaveFile text(pngPath + QStringLiteral(".txt"));
    return text.open(QIODevice::WriteOnly) && text.write(windowTextDump(w).toUtf8()) >= 0 && text.commit();
}
