#include "tpl/tplMacros.h"

#include "script/macroRegistry.h"

void registerAccountMacros(TmacroRegistry &r)
{
    Q_UNUSED(r);
}
