#include "tpl/tplMacros.h"

#include "script/macroRegistry.h"

void registerTreeMacros(TmacroRegistry &r)
{
    Q_UNUSED(r);
}
