#pragma once
// The program's entries in the desktop: the application entry that offers
// "Open with ZOF" on folders (under $XDG_DATA_HOME/applications), the entry
// that starts it with the session (under $XDG_CONFIG_HOME/autostart), and
// the uninstall list, which names only the program's own files. No widgets:
// the window asks the questions, this writes and removes the files.
#include <QString>
#include <QStringList>

struct TcfgPlaces;
class Tconfig;

// Where the two entries live; the folders follow the XDG variables.
struct TdesktopEntryPaths
{
    QString shellEntry;     // .../applications/zof.desktop
    QString autostartEntry; // .../autostart/zof.desktop

    static TdesktopEntryPaths standard();
};

// The program as an Exec value: quoted and escaped as desktop entries want.
QString desktopExecProgram(const QString &programPath);
// The texts written.
QString shellEntryText(const QString &programPath);
QString autostartEntryText(const QString &programPath);
// The program an entry file runs (its main Exec, unquoted); empty when the
// file is missing or has no Exec.
QString entryProgram(const QString &entryFile);

// The shell entry exists and names a program.
bool isShellIntegrated(const TdesktopEntryPaths &p);
// Writes the shell entry; whether it was written.
bool integrateShell(const TdesktopEntryPaths &p, const QString &programPath);
void removeShellIntegration(const TdesktopEntryPaths &p);

// The start-up entry exists and starts this program.
bool startsWithSession(const TdesktopEntryPaths &p, const QString &programPath);
// The menu's switch: the entry goes, and is written anew when it was off.
bool toggleStartWithSession(const TdesktopEntryPaths &p, const QString &programPath);

// At start-up: entries that run another program file (this one was moved)
// are rewritten for this one. The files rewritten.
QStringList followMovedProgram(const TdesktopEntryPaths &p, const QString &programPath);

// The files an uninstall removes, those that exist, in the order removed:
// the two entries, then the stored options.
QStringList uninstallList(const TdesktopEntryPaths &p, const TcfgPlaces &places);
// The question asked once before, with the list.
QString uninstallQuestion(const QStringList &list);
inline const QString uninstallRefusal = QStringLiteral(
    "Sorry, this feature only works with the \"Only 1 instance\" option enabled.\r\r"
    "You can find this option under Menu -> Start/Exit\r(only in expert mode)");
// Removes the entries and the stored options; automatic saving goes off.
void uninstallFiles(const TdesktopEntryPaths &p, Tconfig &config);
