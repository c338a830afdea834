#include "app/statsWiring.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "serve/connData.h"
#include "serve/serve.h"
#include "serve/trafficTotals.h"
#include "tpl/mainTemplate.h"
#include "vfs/vfs.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSet>
#include <QStorageInfo>

#include <unistd.h>

namespace {

struct TstatusState
{
    QString message;
    QDeadlineTimer messageUntil;
    bool showMemory = false;
};

TstatusState &statusState()
{
    static TstatusState s;
    return s;
}

// Resident memory of the process, from /proc (0 when unreadable).
qint64 residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    const long page = ::sysconf(_SC_PAGESIZE);
    return fields.size() > 1 && page > 0 ? fields[1].toLongLong() * page : 0;
}

// The nodes below the root, and the volumes of the real folders that take
// uploads whose free space (in MB) is at most `minMB` (0: not looked at).
struct TtreeFacts
{
    qint64 items = 0;
    QStringList shortVolumes;
};

TtreeFacts treeFacts(qint64 minMB)
{
    TtreeFacts facts;
    QSet<QString> seen;
    const std::function<void(const Tfile &)> walk = [&](const Tfile &f) {
        for (const TfilePtr &c : f.children()) {
            ++facts.items;
            if (minMB > 0 && c->isRealFolder() && !c->accounts[FA_UPLOAD].isEmpty()) {
                const QStorageInfo volume(c->resource);
                if (volume.isValid() && !seen.contains(volume.rootPath())
                    && volume.bytesAvailable() / 1048576 <= minMB) {
                    seen.insert(volume.rootPath());
                    facts.shortVolumes << volume.rootPath();
                }
            }
            walk(*c);
        }
    };
    walk(*Tvfs::instance().root());
    return facts;
}

} // namespace

Tgraph &trafficGraph()
{
    static Tgraph g;
    return g;
}

void sampleGraph()
{
    if (serveExists())
        trafficGraph().sample(serve().srv().bytesSent, serve().srv().bytesReceived);
}

void setStatusBarText(const QString &text, double seconds)
{
    TstatusState &s = statusState();
    s.message = text;
    s.messageUntil = QDeadlineTimer(qint64(seconds * 1000));
}

void setShowMemoryUsage(bool on)
{
    statusState().showMemory = on;
}

TstatusValues statusValuesNow()
{
    const Toptions &o = opts();
    TstatusValues v;
    v.expert = !o.easy;
    if (serveExists()) {
        const ThttpSrv &srv = serve().srv();
        QSet<QString> addresses;
        for (const ThttpConn *c : srv.conns)
            if (const TconnData *d = TconnData::of(c))
                addresses.insert(d->address);
        v.connections = srv.conns.size();
        v.addresses = addresses.size();
        v.speedOut = srv.speedOut;
        v.speedIn = srv.speedIn;
    }
    v.totalOut = totalOut();
    v.totalIn = totalIn();
    const TtreeFacts tree = treeFacts(o.minDiskSpace);
    v.vfsItems = tree.items;
    v.vfsModified = Tvfs::instance().isModified();
    v.outOfSpace = tree.shortVolumes;
    TstatusState &s = statusState();
    v.showMemory = s.showMemory;
    if (s.showMemory)
        v.memoryBytes = residentBytes();
    v.banRules = o.banList.size();
    v.customizedTemplate = customizedTemplate();
    if (!s.message.isEmpty() && s.messageUntil.hasExpired())
        s.message.clear();
    v.message = s.message;
    return v;
}

std::function<void(const QList<TstatusPanel> &)> &statusBarOutlet()
{
    static std::function<void(const QList<TstatusPanel> &)> outlet;
    return outlet;
}

void refreshStatusBar()
{
    // Nobody to show it to (headless): nothing is gathered.
    if (statusBarOutlet())
        statusBarOutlet()(statusPanels(statusValuesNow()));
}
