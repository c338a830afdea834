#pragma once

// Macros that act on the tree, the accounts and files on disk. They need no
// connection beyond what pages offer (TpageContext), so scripts without a
// client can use them too.

class TmacroRegistry;

void registerFileMacros(TmacroRegistry &r);    // load, save, rename, mkdir, exists...
void registerTreeMacros(TmacroRegistry &r);    // add folder, set item, get item...
void registerAccountMacros(TmacroRegistry &r); // new account, set account, member of...
