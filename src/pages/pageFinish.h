#pragma once

// The last steps of a folder page after its own macro pass: the list of
// items, expanded apart, joins the page in place of its stand-in, loses the
// quote markers the page pass would have removed, and the page's counters
// ("%sequential%", "%build-time%") are replaced.

#include <QString>
#include <QStringView>

// What the list's text holds that those steps look for, gathered item by
// item while each item's text is at hand.
struct TlistMarks
{
    bool brace = false;       // "{" or "}": quote markers may be left
    bool counterSign = false; // "%s" or "%b": a counter may be left

    bool complete() const { return brace && counterSign; }
};

// Adds what `text` holds to `marks`. A counter sign split between two items
// is found when the text starts with the last character of the item before.
void addListMarks(TlistMarks &marks, QStringView text);

// Stands for the list during the page's own pass: no symbol, marker, "|" or
// "%", and made of noncharacters that no text of a page holds.
const QString &listStandIn();

// `page` with `list` in place of every stand-in, the list's quote markers
// removed (when `marks` saw a brace) and the counters replaced. The list is
// read for counters only when `marks` says one may be in it or form at its
// edges: most lists are most of the page and hold none.
QString finishFolderPage(QString page, QString &&list, const TlistMarks &marks,
                         const QString &buildTime);
