// The macro language: parser, engine, registry and shared text helpers.
#pragma once

#include "script/macroCall.h"
#include "script/macroData.h"
#include "script/macroEngine.h"
#include "script/macroParser.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "script/varList.h"

// Expands the file as a script (no connection, the main template) and prints
// the result on standard output; errors go to standard error. The exit code.
int runScriptCommand(const QString &file);
