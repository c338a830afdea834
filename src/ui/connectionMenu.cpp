#include "ui/connectionMenu.h"

#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "serve/connCommands.h"
#include "serve/connData.h"
#include "serve/serve.h"
#include "ui/connectionsView.h"
#include "util/prompt.h"

namespace {

ThttpSrv *connServer()
{
    return serveExists() ? &serve().srv() : nullptr;
}

QString connSelectedAddress(TconnectionsView *view)
{
    const ThttpConn *c = view->selectedConnection();
    if (!c)
        return {};
    const TconnData *d = TconnData::of(c);
    return d ? d->address : c->address();
}

bool connSomeOpen()
{
    return connServer() && anyOpenConnection(*connServer());
}

TmenuEntry connEntry(const char *caption, std::function<void()> run, std::function<bool()> enabled)
{
    TmenuEntry e;
    e.caption = QString::fromLatin1(caption);
    e.run = std::move(run);
    e.enabled = std::move(enabled);
    return e;
}

} // namespace

QList<TmenuEntry> connectionMenuEntries(TconnectionsView *view, std::function<void(const QString &)> banAddress)
{
    const auto selected = [view] { return view->selectedConnection() != nullptr; };
    QList<TmenuEntry> m;
    m += connEntry("Kick connection", [view] {
        if (ThttpConn *c = view->selectedConnection())
            kickConnection(*c);
        view->refreshSoon();
    }, [view] {
        const ThttpConn *c = view->selectedConnection();
        return c && c->state() != HCS_DISCONNECTED;
    });
    m += connEntry("Kick IP address", [view] {
        if (const QString a = connSelectedAddress(view); !a.isEmpty() && connServer())
            kickAddress(*connServer(), a);
        view->refreshSoon();
    }, [selected] { return selected() && connSomeOpen(); });
    m += connEntry("Kick all connections", [view] {
        if (connServer())
            kickAddress(*connServer(), QStringLiteral("*"));
        view->refreshSoon();
    }, &connSomeOpen);
    m += connEntry("Kick idle connections", [view] {
        if (connServer())
            kickIdle(*connServer());
        view->refreshSoon();
    }, &connSomeOpen);
    m += TmenuEntry::line();
    m += connEntry("Ban IP address", [view, banAddress] {
        if (const QString a = connSelectedAddress(view); !a.isEmpty() && banAddress)
            banAddress(a);
    }, selected);
    TmenuEntry pause = connEntry("Pause (download-only)", [view] {
        if (ThttpConn *c = view->selectedConnection())
            togglePause(*c);
        view->refreshSoon();
    }, {});
    pause.offered = [view] {
        const ThttpConn *c = view->selectedConnection();
        return c && pausableDownload(*c);
    };
    pause.checked = [view] {
        const ThttpConn *c = view->selectedConnection();
        return c && c->isPaused();
    };
    m += pause;
    m += connEntry("View http request", [view] {
        if (const ThttpConn *c = view->selectedConnection())
            prompt().message(httpRequestText(*c));
    }, selected);
    return m;
}
