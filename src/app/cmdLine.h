#pragma once
// The command line: two-character switches ("-" and a letter, some with an
// argument) and file names, in the order given.
#include <QList>
#include <QString>
#include <QStringList>

struct TcmdItem
{
    char sw = 0;  // the switch letter; 0 for a file name
    QString arg;  // the switch's argument, or the file name
};

struct TcmdLine
{
    QList<TcmdItem> items;
    QString error; // "missing parameter needed" when a switch lacks its argument

    QStringList files() const;
    // The argument of the first occurrence of a switch, or a null string.
    QString value(char sw) const;
    bool has(char sw) const;
};

// `args` without the program name. "--headless" is not a switch of this
// list: the caller removes it first. Unknown switches are dropped.
TcmdLine parseCmdLine(const QStringList &args);

// Whether a switch letter takes an argument.
bool switchTakesArgument(char sw);
