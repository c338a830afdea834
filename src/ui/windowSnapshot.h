#pragma once
// A picture and a text dump of a window, for checking a running program
// from outside (the variable ZOF_SCREENSHOT names the picture; the text goes
// beside it with ".txt" added).
#include <QString>

class QWidget;

// The text of every view, box and button of `w`, one "[objectName]" block
// per view with one line per row (columns joined by tabs).
QString windowTextDump(QWidget &w);
// Writes `pngPath` and `pngPath` + ".txt", each replaced in one step.
bool writeWindowSnapshot(QWidget &w, const QString &pngPath);
