#pragma once

// The pieces of the file macros, registered together by registerFileMacros.

class TmacroRegistry;

// rename, move, copy, delete, mkdir: the macros that change the disk's tree.
void registerFileOpMacros(TmacroRegistry &r);

// "on macro rename" runs at most this many renames deep, even when every
// rename allows nesting.
inline constexpr int maxRenameEventDepth = 8;
