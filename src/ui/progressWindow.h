#pragma once
// The progress window of long operations: a borderless window with a caption
// line, a bar from 0 to 100 and an optional cancel button that the running
// operation polls. Nested steps narrow the part of the bar they fill
// (push/pop), so a step reports its own progress from 0 to 1.
#include <QList>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

class TprogressWindow : public QWidget
{
    Q_OBJECT
public:
    explicit TprogressWindow(QWidget *parent = nullptr);

    // Clears `canceled`, resets the bar when the window was hidden, sets the
    // caption and shows the cancel button when asked.
    void showProgress(const QString &caption, bool cancel = false);
    void hideProgress();

    // The next part of the work fills `sublength` (at most 1) of the current part.
    void push(double sublength);
    // The current part is complete; back to the part around it.
    void pop();
    // Back to an empty bar and no nesting.
    void reset();

    // Position within the current part, 0 to 1.
    void setProgress(double x);
    // Position of the whole bar, 0 to 1.
    double progress() const { return position; }
    int barValue() const;
    void setCaption(const QString &caption);
    QString caption() const;

    void showCancel();
    void hideCancel();
    bool canceled() const { return cancelled; }
    // With it on, the bar never moves back.
    bool preventBackward = false;

    QPushButton *cancelButton() const { return cancelBtn; }

private:
    void place();

    struct Tsaved
    {
        double start, partialLength;
    };
    QLabel *msg;
    QProgressBar *bar;
    QPushButton *cancelBtn;
    QList<Tsaved> stack;
    double partialLength = 1;
    double position = 0;
    bool cancelled = false;
};

// The program's one progress window.
TprogressWindow &progressWindow();
