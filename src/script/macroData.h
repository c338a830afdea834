// The context of one expansion run of the macro language.
#pragma once

#include "script/macroParser.h"
#include "script/varList.h"
#include "tpl/tpl.h"

#include <QHash>
#include <QStringList>
#include <memory>

class Tfile; // a node of the tree; the engine only hands it to macros

// What the engine needs of a connection. The request-handling module's
// per-connection record derives from it; its own macros reach the rest of
// the record from there.
class TmacroConn
{
public:
    virtual ~TmacroConn();
    // A query variable of the request, already disarmed; a bare item reads "1".
    virtual QString urlVar(const QString &name) const;
    // Variables and counters live for one request.
    void resetForRequest();

    TvarList vars;
    QHash<QString, qint64> tplCounters; // by ASCII-folded name
};

struct TmacroData
{
    TmacroConn *cd = nullptr; // none for scripts run without a client
    TtplPtr tpl;              // for section lookups, strings and aliases
    Tfile *folder = nullptr;  // the folder shown or acted upon
    Tfile *f = nullptr;       // the current item
    bool afterTheList = false;
    bool deferredToPage = false; // a macro left itself for the page's own pass
    bool archiveAvailable = false;
    bool hideExt = false;
    bool breaking = false;
    std::shared_ptr<const TnameValueList> aliases;
    std::unique_ptr<TvarList> tempVars; // variables of a run without connection
    QStringList table;                  // pairs: symbol, value
    bool logTS = false;
    TexpansionBudget budget;
};
