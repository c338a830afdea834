#pragma once

// What the account macros tell the rest of the program.

#include <functional>

// Called after a macro added, removed, renamed or edited an account. Records
// and accounts may have moved in memory: whoever keeps a pointer into the
// account list looks it up again by name here.
std::function<void()> &accountsChangedByMacro();
