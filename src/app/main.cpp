// The zof executable: Tapplication assembles the program and runs it.
#include "app/application.h"
#include "app/templateWiring.h"
#include "app/updateWiring.h"

#include <malloc.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QFileInfo>

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

int main(int argc, char **argv)
{
    keepLargeBuffersForReuse();
    raiseOpenFileLimit();
    pinTimeZoneFile();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ZOF"));
    if (const int rc = runScriptFromArguments(QCoreApplication::arguments()); rc >= 0)
        return rc;
    int rc = 0;
    {
        Tapplication application(QCoreApplication::arguments());
#ifndef ZOF_WITH_GUI
        application.program().setHeadless(true); // this build has no window
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
