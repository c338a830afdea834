#pragma once
// The long switches answered before anything else starts ("--help",
// "--version" and the hidden "--man-page"), and "--root", which the
// program takes out of its command line.
#include <QString>
#include <QStringList>

enum TinfoRequest { IR_NONE, IR_HELP, IR_VERSION, IR_MAN_PAGE };

// What `args` (without the program name) ask to be printed instead of
// running. A word that is the argument of a switch ("-c --help") asks
// nothing. The first request wins.
TinfoRequest infoRequest(const QStringList &args);

// Prints the request's text on standard output: the exit code (0), or -1
// when there is nothing to print. Touches no configuration, display or
// single-instance channel.
int answerInfoRequest(const QStringList &args);

struct TrootSwitch
{
    QString folder; // absolute and clean; empty when "--root" was not given
    QString error;  // why the command line cannot be used
};

// Takes every "--root DIR" out of `args` (without the program name); the
// last one counts. A relative DIR is taken against `currentFolder`. DIR must
// be an existing folder.
TrootSwitch takeRootSwitch(QStringList &args, const QString &currentFolder);
