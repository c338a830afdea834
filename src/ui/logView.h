#pragma once
// The log: the lines of the log model with their colours, and the log's own
// tools (search, copy, clear, save, the address of the caret line). New
// lines are queued and shown once per pass of the event loop, so a burst of
// entries costs one document update, not one per line.
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPointer>

#include <functional>

class TlogModel;

class TlogView : public QPlainTextEdit
{
    Q_OBJECT
public:
    // Follows the program's log model when there is one.
    explicit TlogView(QWidget *parent = nullptr);

    // Shows `model`'s lines and follows its changes (null: none).
    void follow(TlogModel *model);
    // Shows what the model queued since the last pass now.
    void flush();
    // Lines in the view.
    int shownLines() const { return shown; }

    // Searches the pattern from the caret (direction 0 as typed, -1 up,
    // +1 down) and selects what it finds; an empty pattern finds nothing
    // to select and answers true. The time the search took is kept.
    bool search(const QString &pattern, int direction);
    qint64 lastSearchMs() const { return searchMs; }

    // The client address of the caret's line, empty when it names none.
    QString caretLineAddress() const;

    // The selection, or everything when nothing is selected, to the clipboard.
    void copyToClipboard();
    // Empties the view and the log model.
    void clearLog();
    void clearAndResetTotals();
    // Writes the whole text to `path` (safely replaced); false on failure.
    bool saveTo(const QString &path);
    // "zof.log" in the program's folder.
    static QString defaultSavePath();
    // A save dialog, then saveTo().
    void saveAs();

    // The options' read-only switch and font for new text.
    void applyOptions();

    // Filled by the window: what the context menu offers.
    std::function<void(const QPoint &globalPos)> contextMenuRequested;

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;

private:
    static constexpr qint64 flushSpacingMs = 200;
    void scheduleFlush();
    void removeTopLines(int n);
    void appendModelLines(qsizetype first, qsizetype count);

    QPointer<TlogModel> model;
    int shown = 0;
    qsizetype pendingLines = 0;
    qsizetype pendingTrim = 0;
    bool flushQueued = false;
    QElapsedTimer sinceFlush; // flushes are spaced, however fast lines come
    qint64 searchMs = 0;
};
