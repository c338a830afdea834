#pragma once
// Plugs the templates and the macro language into the program: the version
// the templates show, the template file named by "tpl-file" (watched while
// the program runs), and the macro outlets.
#include <QStringList>

class Tprogram;

void installTemplateHooks(Tprogram &program);

// "zof --run-script FILE": expands the file and returns the exit code; -1 when
// the arguments do not ask for it (or name no file: then 2).
int runScriptFromArguments(const QStringList &args);
