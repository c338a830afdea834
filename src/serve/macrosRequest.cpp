// Macros that read the request: header, urlvar, postvar. Every value a
// visitor sent is disarmed before a template sees it.

#include "serve/macrosRequestTools.h"
#include "serve/serveMacros.h"

#include "http/httpConn.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "serve/connData.h"

TconnData *connOrError(TmacroCall &c)
{
    TconnData *cd = dynamic_cast<TconnData *>(c.md.cd);
    if (!cd)
        c.setCannotBeUsedHere();
    return cd;
}

namespace {

// Stores the value in the variable named by "var" (empty result), or
// returns it as the result.
void answerOrStore(TmacroCall &c, const QString &value)
{
    if (const auto var = c.namedRaw(QStringLiteral("var"))) {
        c.setVar(var->trimmed(), value);
        c.result.clear();
        return;
    }
    c.result = value;
}

void header(TmacroCall &c)
{
    TconnData *cd = connOrError(c);
    if (!cd)
        return;
    const QString name = c.par(0);
    // Header names are ASCII tokens; anything else names no header.
    bool ascii = true;
    for (const QChar ch : name)
        ascii = ascii && ch.unicode() > 32 && ch.unicode() < 127;
    c.result = ascii && cd->conn ? disarmMacros(cd->conn->getHeader(name)) : QString();
}

void urlvar(TmacroCall &c)
{
    if (TconnData *cd = connOrError(c))
        answerOrStore(c, cd->urlVar(c.par(0)));
}

void postvar(TmacroCall &c)
{
    if (TconnData *cd = connOrError(c))
        answerOrStore(c, disarmMacros(cd->request.postVars.value(c.par(0))));
}

} // namespace

void registerRequestMacros(TmacroRegistry &r)
{
    r.add(QStringLiteral("header"), 1, header);
    r.add(QStringLiteral("urlvar"), 1, urlvar);
    r.add(QStringLiteral("postvar"), 1, postvar);
    registerGetMacro(r);
    registerReplyMacros(r);
    registerConnectionMacros(r);
    registerBreadcrumbsMacro(r);
}
