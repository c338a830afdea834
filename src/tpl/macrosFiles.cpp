#include "tpl/tplMacros.h"

#include "script/macroRegistry.h"

void registerFileMacros(TmacroRegistry &r)
{
    Q_UNUSED(r);
}
