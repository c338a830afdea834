#pragma once
// The commands behind the desktop entries, with their questions and
// messages through a Tprompt: the menu's switches, the first start's
// question, the uninstall, and the start-up check of a moved program.
#include "app/desktopEntries.h"

class Tprogram;
class Tprompt;

// What the program file is (the running executable unless a test says).
QString programFilePath();

// The shell entry's menu caption as the state makes it.
QString shellMenuCaption(const TdesktopEntryPaths &p);
// "Integrate/Remove": removes when integrated, else integrates and tells.
void switchShellIntegration(const TdesktopEntryPaths &p, const QString &programPath, Tprompt &ask);

// The first start's question, when not integrated. False when the operator
// closed the window without answering: the program is to end.
bool askShellIntegrationOnFirstStart(const TdesktopEntryPaths &p, const QString &programPath, Tprompt &ask);

// "Uninstall ZOF" (`fromMenu`) and "-u" (no question). Refused without the
// single-instance channel; otherwise the entries and stored options go and
// a quit is requested. Whether it went ahead.
bool uninstallProgram(Tprogram &program, const TdesktopEntryPaths &p, Tprompt &ask, bool fromMenu);

// Connects the start-up check and "-u" to the program's steps.
void installDesktopCommands(Tprogram &program);
