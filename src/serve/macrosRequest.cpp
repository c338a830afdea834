#include "serve/serveMacros.h"

#include "script/macroRegistry.h"

void registerRequestMacros(TmacroRegistry &r)
{
    Q_UNUSED(r);
}
