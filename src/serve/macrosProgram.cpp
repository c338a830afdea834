#include "serve/serveMacros.h"

#include "script/macroRegistry.h"

void registerProgramMacros(TmacroRegistry &r)
{
    Q_UNUSED(r);
}
