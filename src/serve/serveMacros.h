#pragma once

// Macros that reach the connection record and the running program.

class TmacroRegistry;

void registerRequestMacros(TmacroRegistry &r); // get, header, urlvar, cookie, breadcrumbs...
void registerProgramMacros(TmacroRegistry &r); // get ini, set cfg, exec, desktop macros...
