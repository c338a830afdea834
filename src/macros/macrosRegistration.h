#pragma once

// Macros that act on the tree, the accounts and files on disk. They need no
// connection, so scripts without a client can use them too; what they read
// of a page (the requester, the icon of an item) page building hands in
// when it registers them.

#include <QString>

#include <functional>

class TconnView;
class TmacroConn;
class TmacroRegistry;
class Tfile;

// What a macro that acts answers when it succeeded: one blank (an empty
// text is its failure).
inline const QString macroDone = QStringLiteral(" ");

// The client a macro run serves, null for a run without one.
using TrequesterLookup = std::function<TconnView *(TmacroConn *)>;
// "/~img..." for an item, as pages show it.
using TitemIconUrl = std::function<QString(const Tfile *)>;

void registerFileMacros(TmacroRegistry &r); // load, save, rename, mkdir, exists...
// add folder, set item, get item...
void registerTreeMacros(TmacroRegistry &r, TitemIconUrl iconUrl);
// new account, set account, member of...: without a name they act on the
// requester's account.
void registerAccountMacros(TmacroRegistry &r, TrequesterLookup requester);
