// Helpers shared by the macro groups and the engine's prefix forms.
#pragma once

#include "script/macroCall.h"

// "section" and the "$" form: section `sectionName`, from the template file
// named by named "file" or parameter fileIdx when given.
void sectionMacro(TmacroCall &c, const QString &sectionName, int fileIdx);
// "from table" and the "!" form: the value of `key` in the table variable.
QString fromTable(TmacroCall &c, const QString &tableName, const QString &key);
// A template file given to a macro, read through the template cache.
TtplPtr templateFromFile(const QString &path);
