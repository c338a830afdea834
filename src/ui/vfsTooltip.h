#pragma once
// What the tree's tooltip says about a node: where it is, what it is, and
// each setting that applies to it, marked when it comes from a folder above
// or from a file on disk.
#include <QStringList>

class Tfile;

inline const QString TREE_HINT = QStringLiteral("Drag your files here");

// The lines of the tooltip; `hints` puts the newcomers' hint first.
QStringList vfsTooltipLines(const Tfile &f, bool hints);

// A text on one line for the tooltip: line breaks become blanks, and more
// than 30 characters are cut to 29 followed by "...".
QString tooltipOneLine(QString text);
