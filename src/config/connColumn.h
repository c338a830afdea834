#pragma once
// Width of one column of the connections view, by caption.
#include <QList>
#include <QString>

struct TconnColumn
{
    QString caption;
    int width = 0;

    friend bool operator==(const TconnColumn &, const TconnColumn &) = default;
};

// The columns of the connections view with their default widths.
QList<TconnColumn> defaultConnColumns();
