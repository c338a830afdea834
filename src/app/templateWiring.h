#pragma once
// The templates and the macro language as the program uses them: the version
// the templates show, the template file named by "tpl-file" (watched while
// the program runs), and the macro outlets. Tapplication connects these to
// the program's steps.
#include <QStringList>

// Macro outlets, the error reporter and the old "load-tpl-from" key.
void installTemplates();
// After options were applied: macros on or off, the template file.
void optionsToTemplates();
// Every second: the template file reloaded when it changed.
void checkTemplateFile();

// "zof --run-script FILE": expands the file and returns the exit code; -1 when
// the arguments do not ask for it (or name no file: then 2).
int runScriptFromArguments(const QStringList &args);
