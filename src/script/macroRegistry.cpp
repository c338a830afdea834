#include "script/macroRegistry.h"

#include "util/asciiCase.h"

TmacroRegistry &TmacroRegistry::instance()
{
    static TmacroRegistry r;
    return r;
}

TmacroRegistry::TmacroRegistry()
{
    registerFlowMacros(*this);
    registerVarMacros(*this);
    registerTextMacros(*this);
    registerEncodingMacros(*this);
    registerNumberMacros(*this);
}

void TmacroRegistry::add(const QString &name, int minParams, TmacroHandler handler, bool pure)
{
    macros.insert(name.toLower(), {minParams, std::move(handler), pure});
    ++additions;
}

void TmacroRegistry::addSymbol(const QString &symbol, TsymbolHandler handler)
{
    symbols.insert(symbol, std::move(handler));
    ++additions;
}

const TmacroRegistry::Tmacro *TmacroRegistry::find(const QString &lowerName) const
{
    auto it = macros.constFind(lowerName);
    return it == macros.constEnd() ? nullptr : &*it;
}

const TsymbolHandler *TmacroRegistry::findSymbol(const QString &symbol) const
{
    auto it = symbols.constFind(symbol);
    return it == symbols.constEnd() ? nullptr : &*it;
}
