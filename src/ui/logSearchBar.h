#pragma once
// The log's search toolbar: the box ("Wildcards allowed"), the up and down
// arrows, and the search as the operator types, which waits until the box
// has rested for twice the previous search's time (at most 2 seconds). A
// search that finds nothing turns the box pink for 5 seconds.
#include <QTimer>
#include <QWidget>

#include <functional>

class QLineEdit;
class QToolButton;
class TlogView;

class TlogSearchBar : public QWidget
{
    Q_OBJECT
public:
    explicit TlogSearchBar(TlogView *view, QWidget *parent = nullptr);

    QLineEdit *box() const { return edit; }
    // Runs the search of the box in `direction`; false when nothing was found.
    bool searchNow(int direction);
    bool isPink() const { return pink; }
    // How long the box waits after typing before it searches.
    int typingDelayMs() const;

    // "Copy to editor": the whole log, or only the lines the box's pattern
    // matches; nothing to copy gives the warning "It's empty".
    void copyToEditor(bool onlyMatching);
    QToolButton *copyMatchingButton() const { return copyMatching; }
    // Where the text goes (by default a temporary ".txt" file opened with
    // the desktop's editor).
    std::function<void(const QString &text)> openInEditor;

    static constexpr int pinkMs = 5000;

private:
    void setPink(bool on);

    TlogView *view;
    QLineEdit *edit = nullptr;
    QToolButton *copyMatching = nullptr;
    QTimer typing, unpink;
    bool pink = false;
};

// The log's place in the window: the title "Log", the collapsible search
// toolbar and the view.
QWidget *logViewPanel(TlogView *view);
