// The zof executable: Tapplication assembles the program and runs it.
#include "app/application.h"
#include "app/longSwitches.h"
#include "app/templateWiring.h"
#include "app/updateWiring.h"
#include "log/log.h"

#include <malloc.h>
#include <memory>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

#ifdef ZOF_WITH_GUI
#include "ui/desktop.h"

#include <QApplication>
#endif

// A server holding thousands of connections needs more descriptors than the
// usual soft limit of 1024; take what the hard limit allows.
static void raiseOpenFileLimit()
{
    rlimit l{};
    if (::getrlimit(RLIMIT_NOFILE, &l) == 0 && l.rlim_cur < l.rlim_max) {
        l.rlim_cur = l.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &l);
    }
}

// Without TZ the C library checks /etc/localtime at every local-time
// conversion (one stat per listed item or logged line); naming the zone file
// once keeps its rules, daylight saving included, read a single time.
static void pinTimeZoneFile()
{
    if (!qEnvironmentVariableIsSet("TZ") && QFileInfo::exists(QStringLiteral("/etc/localtime")))
        qputenv("TZ", ":/etc/localtime");
}

// A folder page or a reply body takes buffers of a few megabytes, again at
// every request. Mapped afresh each time (or handed back when freed at the
// top of the heap), every page of them costs a fault when written: keep
// buffers below 16 MiB in the heap, and up to 32 MiB of it free for reuse.
static void keepLargeBuffersForReuse()
{
    mallopt(M_MMAP_THRESHOLD, 16 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);
}

// "--help" and "--version" print and end before any display, option or
// single-instance channel is touched; a "--root" without a folder ends too.
static int answerEarly(const QStringList &args)
{
    const QStringList rest = args.mid(1);
    if (const int rc = answerInfoRequest(rest); rc >= 0)
        return rc;
    QStringList withoutRoot = rest;
    const TrootSwitch root = takeRootSwitch(withoutRoot, QDir::currentPath());
    if (!root.error.isEmpty()) {
        std::fprintf(stderr, "zof: %s\n", qPrintable(root.error));
        return 2;
    }
    return -1;
}

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args += QString::fromLocal8Bit(argv[i]);
    if (const int rc = answerEarly(args); rc >= 0)
        return rc;
    keepLargeBuffersForReuse();
    raiseOpenFileLimit();
    pinTimeZoneFile();
#ifdef ZOF_WITH_GUI
    const bool window = !runsHeadless(args);
#else
    const bool window = false;
#endif
    // The window needs a QApplication; a server without one stays lighter.
    std::unique_ptr<QCoreApplication> app;
#ifdef ZOF_WITH_GUI
    if (window)
        app = std::make_unique<QApplication>(argc, argv);
#endif
    if (!app)
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ZOF"));
    if (const int rc = runScriptFromArguments(QCoreApplication::arguments()); rc >= 0)
        return rc;
    int rc = 0;
    {
        Tapplication application(QCoreApplication::arguments());
        // The log goes where it is read: the window's view, or standard error.
        if (!window) {
            application.program().setHeadless(true);
            setLogKeptForView(false);
        } else {
            setLogToStderr(false);
        }
#ifdef ZOF_WITH_GUI
        std::unique_ptr<Tdesktop> desktop;
        if (window)
            desktop = std::make_unique<Tdesktop>(application.program());
#endif
        rc = application.run();
    }
    // An installed update: the program closed in order, the new file starts.
    if (restartWanted()) {
        restartProgram();
        return 1;
    }
    return rc;
}
