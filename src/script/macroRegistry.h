// The one registry of macros and symbols. The language's own macros register
// first; other modules add theirs (request, files, tree, accounts) at start.
#pragma once

#include "script/macroCall.h"

#include <QHash>
#include <QString>
#include <functional>

using TmacroHandler = std::function<void(TmacroCall &)>;
// Sets `result` and returns true when the symbol applies in this run; false
// leaves it as written (for example when its context is missing).
using TsymbolHandler = std::function<bool(TmacroData &md, QString &result)>;

class TmacroRegistry
{
public:
    static TmacroRegistry &instance();

    // `name` is matched ignoring case; a macro given fewer than `minParams`
    // parameters is not called and the page shows the illegal-parameters error.
    // `pure`: the result depends on the macro's text alone (no variable,
    // file, connection or clock is read, nothing is changed), so a result
    // may be reused for the same text.
    void add(const QString &name, int minParams, TmacroHandler handler, bool pure = false);
    // `symbol` with its percent signs, matched with letter case.
    void addSymbol(const QString &symbol, TsymbolHandler handler);

    struct Tmacro
    {
        int minParams = 0;
        TmacroHandler handler;
        bool pure = false;
    };
    const Tmacro *find(const QString &lowerName) const;
    const TsymbolHandler *findSymbol(const QString &symbol) const;
    // Grows at every addition: what was found before may have moved.
    quint64 revision() const { return additions; }

private:
    TmacroRegistry();
    quint64 additions = 0;
    QHash<QString, Tmacro> macros;
    QHash<QString, TsymbolHandler> symbols;
};

// The language's own macros, by group (defined in their own files).
void registerFlowMacros(TmacroRegistry &r);
void registerVarMacros(TmacroRegistry &r);
void registerTextMacros(TmacroRegistry &r);
void registerEncodingMacros(TmacroRegistry &r);
void registerNumberMacros(TmacroRegistry &r);
