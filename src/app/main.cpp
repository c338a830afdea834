// The zof executable: the start-up order, the event loop and the shutdown
// live in Tprogram; the modules above the configuration plug into its hooks.
#include "config/program.h"
#include "serve/serveWiring.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ZOF"));
    Tprogram program(QCoreApplication::arguments());
#ifndef ZOF_WITH_GUI
    program.setHeadless(true); // this build has no window
#endif
    installServeHooks(program);
    return program.run();
}
