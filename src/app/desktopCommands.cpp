#include "app/desktopCommands.h"

#include "app/program.h"
#include "config/config.h"
#include "log/log.h"
#include "util/prompt.h"

#include <QCoreApplication>

QString programFilePath()
{
    return QCoreApplication::applicationFilePath();
}

QString shellMenuCaption(const TdesktopEntryPaths &p)
{
    return isShellIntegrated(p) ? QStringLiteral("Remove from shell context menu")
                                : QStringLiteral("Integrate in shell context menu");
}

namespace {

void integrateAndTell(const TdesktopEntryPaths &p, const QString &programPath, Tprompt &ask, bool tellSuccess)
{
    if (integrateShell(p, programPath)) {
        if (tellSuccess)
            ask.message(QStringLiteral("\"Open with ZOF\" has been added to your desktop's menu for folders."));
        return;
    }
    ask.message(QStringLiteral("Can't write the desktop entry %1.\rYou may lack necessary rights.").arg(p.shellEntry),
                PK_ERROR);
}

} // namespace

void switchShellIntegration(const TdesktopEntryPaths &p, const QString &programPath, Tprompt &ask)
{
    if (isShellIntegrated(p))
        removeShellIntegration(p);
    else
        integrateAndTell(p, programPath, ask, true);
}

bool askShellIntegrationOnFirstStart(const TdesktopEntryPaths &p, const QString &programPath, Tprompt &ask)
{
    if (isShellIntegrated(p))
        return true;
    const int answer = ask.choose(QStringLiteral("Option..."),
                                  {QStringLiteral("Do you want ZOF in your shell context menu?")},
                                  {QStringLiteral("&Yes"), QStringLiteral("&No")}, 1);
    if (answer < 0)
        return false;
    if (answer == 0)
        integrateAndTell(p, programPath, ask, false);
    return true;
}

bool uninstallProgram(Tprogram &program, const TdesktopEntryPaths &p, Tprompt &ask, bool fromMenu)
{
    if (!program.singleInstanceHeld()) {
        ask.message(uninstallRefusal, PK_ERROR);
        return false;
    }
    if (fromMenu
        && ask.question(uninstallQuestion(uninstallList(p, cfg().places)), PB_YES | PB_NO, PB_NO) != PB_YES)
        return false;
    for (const QString &f : uninstallList(p, cfg().places))
        add2log(QStringLiteral("Uninstall removes %1").arg(f));
    uninstallFiles(p, cfg());
    program.requestQuit();
    return true;
}

void installDesktopCommands(Tprogram &program)
{
    QObject::connect(&program, &Tprogram::initialising, &program, [] {
        for (const QString &f : followMovedProgram(TdesktopEntryPaths::standard(), programFilePath()))
            add2log(QStringLiteral("The program moved: %1 now starts %2").arg(f, programFilePath()));
    });
    QObject::connect(&program, &Tprogram::uninstallWanted, &program, [&program] {
        uninstallProgram(program, TdesktopEntryPaths::standard(), prompt(), false);
    });
}
