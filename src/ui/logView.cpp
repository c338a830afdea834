#include "ui/logView.h"

#include "config/config.h"
#include "config/options.h"
#include "config/paths.h"
#include "log/logModel.h"
#include "log/logSearch.h"
#include "serve/trafficTotals.h"
#include "util/files.h"
#include "util/service.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMouseEvent>
#include <QTimer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>

TlogView::TlogView(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    applyOptions();
    // Options changed anywhere (dialogs, scripts) reach the view.
    if (Tconfig *c = Tservice<Tconfig>::find())
        connect(c->notifier.get(), &TcfgSignals::applied, this, &TlogView::applyOptions);
    follow(TlogModel::find());
}

void TlogView::follow(TlogModel *m)
{
    if (model)
        disconnect(model, nullptr, this, nullptr);
    model = m;
    clear();
    shown = 0;
    pendingTrim = 0;
    pendingLines = 0;
    if (!model)
        return;
    connect(model, &TlogModel::appended, this, [this](qsizetype, qsizetype count) {
        pendingLines += count;
        scheduleFlush();
    });
    connect(model, &TlogModel::trimmed, this, [this](qsizetype count) {
        pendingTrim += count;
        scheduleFlush();
    });
    connect(model, &TlogModel::cleared, this, [this] {
        clear();
        shown = 0;
        pendingLines = pendingTrim = 0;
    });
    pendingLines = model->lineCount();
    scheduleFlush();
}

// Lines that come in a burst are shown in the next loop pass; under a
// steady flow the view takes them at most every flushSpacingMs, so that
// laying out its text never competes with the server for the thread.
void TlogView::scheduleFlush()
{
    if (flushQueued)
        return;
    flushQueued = true;
    const qint64 since = sinceFlush.isValid() ? sinceFlush.elapsed() : flushSpacingMs;
    if (since >= flushSpacingMs)
        QMetaObject::invokeMethod(this, &TlogView::flush, Qt::QueuedConnection);
    else
        QTimer::singleShot(int(flushSpacingMs - since), this, &TlogView::flush);
}

void TlogView::flush()
{
    flushQueued = false;
    sinceFlush.start();
    if (!model || (pendingLines == 0 && pendingTrim == 0))
        return;
    QScrollBar *bar = verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    setUpdatesEnabled(false);
    // Trimmed lines that were never shown are simply not shown.
    removeTopLines(int(std::min<qsizetype>(pendingTrim, shown)));
    pendingTrim = 0;
    const qsizetype count = std::min(pendingLines, model->lineCount());
    pendingLines = 0;
    appendModelLines(model->lineCount() - count, count);
    setUpdatesEnabled(true);
    if (atEnd)
        bar->setValue(bar->maximum());
}

void TlogView::removeTopLines(int n)
{
    if (n <= 0)
        return;
    if (n >= shown || n >= document()->blockCount()) {
        clear();
        shown = 0;
        return;
    }
    // Only the top goes: the rest of the document is left as it is.
    QTextCursor c(document());
    c.movePosition(QTextCursor::Start);
    c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, n);
    c.removeSelectedText();
    shown -= n;
}

void TlogView::appendModelLines(qsizetype first, qsizetype count)
{
    if (count <= 0)
        return;
    const Toptions &o = opts();
    QTextCharFormat base;
    if (!o.logFontName.isEmpty())
        base.setFontFamilies({o.logFontName});
    if (o.logFontSize > 0)
        base.setFontPointSize(double(o.logFontSize));
    const QColor standard = palette().color(QPalette::Text);
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.beginEditBlock();
    for (qsizetype i = first; i < first + count; ++i) {
        if (shown > 0)
            c.insertBlock();
        for (const TlogSegment &s : model->line(i).segments) {
            QTextCharFormat f = base;
            f.setForeground(s.colour.isStandard() ? standard : QColor(QRgb(s.colour.rgb())));
            c.insertText(s.text, f);
        }
        ++shown;
    }
    c.endEditBlock();
}

bool TlogView::search(const QString &pattern, int direction)
{
    QElapsedTimer t;
    t.start();
    const QString text = toPlainText();
    const TlogSearchHit hit = logSearch(text, pattern, textCursor().selectionStart(), direction);
    if (hit.found && hit.length > 0) {
        QTextCursor c(document());
        c.setPosition(int(hit.start));
        c.setPosition(int(hit.start + hit.length), QTextCursor::KeepAnchor);
        setTextCursor(c);
        ensureCursorVisible();
    }
    searchMs = t.elapsed();
    return hit.found;
}

QString TlogView::caretLineAddress() const
{
    return logLineAddress(textCursor().block().text());
}

void TlogView::copyToClipboard()
{
    const QString selected = textCursor().selection().toPlainText();
    QApplication::clipboard()->setText(selected.isEmpty() ? toPlainText() : selected);
}

void TlogView::clearLog()
{
    if (model)
        model->clear(); // the view follows through the model's signal
    clear();
    shown = 0;
    pendingLines = pendingTrim = 0;
}

void TlogView::clearAndResetTotals()
{
    clearLog();
    resetTotals();
}

QString TlogView::defaultSavePath()
{
    return QDir(programFolder()).filePath(QStringLiteral("zof.log"));
}

bool TlogView::saveTo(const QString &path)
{
    return saveFile(path, toPlainText().toUtf8());
}

void TlogView::saveAs()
{
    QString fn = QFileDialog::getSaveFileName(this, QStringLiteral("Save log"), opts().lastDialogFolder,
                                              QStringLiteral("Text file (*.txt)"));
    if (fn.isEmpty())
        return;
    if (!fn.contains(u'.'))
        fn += QStringLiteral(".txt");
    saveTo(fn);
}

void TlogView::applyOptions()
{
    setReadOnly(opts().logReadOnly);
}

void TlogView::mousePressEvent(QMouseEvent *e)
{
    // A right click puts the caret where it points first, so the menu acts
    // on the clicked line.
    if (e->button() == Qt::RightButton)
        setTextCursor(cursorForPosition(e->position().toPoint()));
    QPlainTextEdit::mousePressEvent(e);
}

void TlogView::contextMenuEvent(QContextMenuEvent *e)
{
    if (e->reason() == QContextMenuEvent::Mouse)
        setTextCursor(cursorForPosition(e->pos()));
    if (contextMenuRequested)
        contextMenuRequested(e->globalPos());
    else
        QPlainTextEdit::contextMenuEvent(e);
}
