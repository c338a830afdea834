#pragma once
// What "zof --help" prints, kept as one table, and the same text as a
// manual page (the build makes zof.1 from it with the hidden "--man-page").
#include <QList>
#include <QString>

struct TusageSwitch
{
    QString name;     // "-i", "--root"
    QString argument; // "DIR", or empty for a switch without one
    QString help;     // one sentence or two, not wrapped
};

struct TusageSection
{
    QString title;            // "FILES"
    QList<QString> paragraphs;
};

struct Tusage
{
    QString synopsis; // after the program's name
    QString summary;  // what the program is, in a line
    QList<QString> description;
    QList<TusageSwitch> switches;
    QList<TusageSection> sections; // after the switches
};

const Tusage &usage();

// "ZOF 1.0 (build 400)".
QString versionLine();

// The usage as "--help" prints it: lines of at most `width` characters
// (a word longer than that stands alone on its line).
QString usageText(int width = 79);

// The usage as a manual page in roff.
QString usageManPage();

// `text` made safe inside a roff text line: backslashes and hyphens escaped,
// a leading "." or "'" kept from being read as a request.
QString roffEscape(const QString &text);

// `text` broken at spaces into lines of at most `width` characters, each
// prefixed with `indent` spaces (the first with `firstIndent` when given).
QList<QString> wrapWords(const QString &text, int width, int indent, int firstIndent = -1);
