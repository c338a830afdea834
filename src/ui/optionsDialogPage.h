#pragma once
// What every page of the options window does with the working copies.
#include "config/optionsCopy.h"

#include <QTableWidget>
#include <QWidget>

class QPushButton;
class Tprompt;

class ToptionsPageWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ToptionsPageWidget(Tprompt *ask, QWidget *parent = nullptr) : QWidget(parent), askIn(ask) {}
    // Shows the rows of `c`.
    virtual void load(const ToptionsCopy &c) = 0;
    // Writes what is shown into `c`.
    virtual void store(ToptionsCopy &c) = 0;

protected:
    // The prompt given, else the program's.
    Tprompt &ask() const;

private:
    Tprompt *askIn;
};

// A grid of two text columns (bans, MIME types, address names).
class TtextGrid : public QTableWidget
{
    Q_OBJECT
public:
    TtextGrid(const QString &first, const QString &second, QWidget *parent = nullptr);
    QList<QPair<QString, QString>> rowsShown() const;
    void showRows(const QList<QPair<QString, QString>> &rows);
    // A new empty row after the current one (at the end when none), made current.
    int addRow();
    // Removes the current row.
    void deleteRow();
    // Buttons that add a row to this grid, and remove its current row.
    QPushButton *newAddRowButton(const QString &caption);
    QPushButton *newDeleteRowButton(const QString &caption);
    QString cell(int row, int column) const;
    void setCell(int row, int column, const QString &text);
};
