#include "ui/connectionMenu.h"

#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "serve/connCommands.h"
#include "serve/connData.h"
#include "serve/serve.h"
#include "ui/connectionsView.h"
#include "util/prompt.h"

namespace {

ThttpSrv *server()
{
    return serveExists() ? &serve().srv() : nullptr;
}

QString selectedAddress(TconnectionsView *view)
{
    const ThttpConn *c = view->selectedConnection();
    if (!c)
        return {};
    const TconnData *d = TconnData::of(c);
    return d ? d->address : c->address();
}

bool someOpen()
{
    return server() && anyOpenConnection(*server());
}

TmenuEntry entry(const char *caption, std::function<void()> run, std::function<bool()> enabled)
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
    m += entry("Kick connection", [view] {
        if (ThttpConn *c = view->selectedConnection())
            kickConnection(*c);
        view->refreshSoon();
    }, [view] {
        const ThttpConn *c = view->selectedConnection();
        return c && c->state() != HCS_DISCONNECTED;
    });
    m += entry("Kick IP address", [view] {
        if (const QString a = selectedAddress(view); !a.isEmpty() && server())
            kickAddress(*server(), a);
        view->refreshSoon();
    }, [selected] { return selected() && someOpen(); });
    m += entry("Kick all connections", [view] {
        if (server())
            kickAddress(*server(), QStringLiteral("*"));
        view->refreshSoon();
    }, &someOpen);
    m += entry("Kick idle connections", [view] {
        if (server())
            kickIdle(*server());
        view->refreshSoon();
    }, &someOpen);
    m += TmenuEntry::line();
    m += entry("Ban IP address", [view, banAddress] {
        if (const QString a = selectedAddress(view); !a.isEmpty() && banAddress)
            banAddress(a);
    }, selected);
    TmenuEntry pause = entry("Pause (download-only)", [view] {
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
    m += entry("View http request", [view] {
        if (const ThttpConn *c = view->selectedConnection())
            prompt().message(httpRequestText(*c));
    }, selected);
    return m;
}
