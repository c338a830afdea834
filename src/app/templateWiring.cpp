#include "app/templateWiring.h"

#include "app/services.h"

#include "config/config.h"
#include "config/notify.h"
#include "config/options.h"
#include "config/paths.h"
#include "config/version.h"
#include "log/log.h"
#include "pages/folderPage.h"
#include "pages/symbols.h"
#include "pages/templateImport.h"
#include "script/macroEngine.h"
#include "script/macroRegistry.h"
#include "script/scriptLib.h"
#include "serve/macrosProgram.h"
#include "serve/serveMacros.h"
#include "tpl/mainTemplate.h"
#include "tpl/tpl.h"
#include "util/files.h"

#include <cstdio>

namespace {

void installMacroOutlets()
{
    Ttpl::setProgramVersion(zofVersion(), zofBuild());
    macroSettings().addToLog = [](const QString &text, const QString &colour) {
        const std::optional<quint32> rgb = logColorFromText(colour);
        add2log(text, {}, rgb ? TlogColour(*rgb) : TlogColour());
    };
}

} // namespace

void optionsToTemplates()
{
    const Toptions &o = opts();
    macroSettings().enableMacros = o.enableMacros;
    if (o.tplFile != templateFileName()) {
        selectTemplateFile(o.tplFile);
        watchTemplateFile(); // load it now, not at the next check
    }
}

void installTemplates()
{
    installMacroOutlets();
    installTemplateScriptRunner();
    installTemplateImportRunner();
    setTemplateErrorReporter([](const QString &msg) { notifyOperator(msg); });
    cfg().hooks.loadTemplateFrom = [](const QString &path) {
        // The old key named the template file.
        if (!path.isEmpty())
            opts().tplFile = path;
        optionsToTemplates();
    };
}

void checkTemplateFile()
{
    watchTemplateFile();
}

int runScriptFromArguments(const QStringList &args)
{
    const qsizetype i = args.indexOf(QStringLiteral("--run-script"));
    if (i < 0)
        return -1;
    if (i + 1 >= args.size()) {
        std::fprintf(stderr, "--run-script needs a file name\n");
        return 2;
    }
    Tservices services; // a script run has the program's services, not its life
    installMacroOutlets();
    installTemplateScriptRunner();
    installBuiltinPageTemplates();
    registerPageSymbols();
    registerRequestMacros(TmacroRegistry::instance());
    registerProgramMacros(TmacroRegistry::instance());
    setFilesBaseFolder(cfgPath());
    return runScriptCommand(args.at(i + 1));
}
