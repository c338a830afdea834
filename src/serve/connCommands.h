#pragma once
// The operator's commands on connections (the connection list's menu and
// the bans it adds): kicks, pause, the raw request, and the ban prompt.
// The window only calls these.
#include <QList>
#include <QString>

class ThttpConn;
class ThttpSrv;
class Tprompt;
class Tserve;
struct Toptions;

// The connections as the operator's list shows them: the open ones, then
// those that ended and are not released yet.
QList<ThttpConn *> listedConnections(const ThttpSrv &srv);
// Whether `c` is still one of them (a pointer kept across the event loop
// may have been freed; it is compared, never followed, until found).
bool stillListed(const ThttpSrv &srv, const ThttpConn *c);

// Closes the connection with the reason "kicked".
void kickConnection(ThttpConn &c);
// Closes every open connection from `address` ("*": all of them), each
// with the reason it already has, else "kicked". Returns how many.
int kickAddress(ThttpSrv &srv, const QString &address);
// Closes every open connection waiting for a request ("kicked idle").
int kickIdle(ThttpSrv &srv);
// Open connections whose address is exactly `address`.
int openConnectionsFrom(const ThttpSrv &srv, const QString &address);
// Whether some listed connection is still open.
bool anyOpenConnection(const ThttpSrv &srv);

// A counted download being answered: the one thing that may be paused.
bool pausableDownload(const ThttpConn &c);
// Pauses or resumes it; false when `c` is not a pausable download.
bool togglePause(ThttpConn &c);

// The connection's last request head as received; else the bytes received
// and not parsed yet; else "(empty)".
QString httpRequestText(const ThttpConn &c);

// Whether the ban list has a rule with exactly this mask.
bool banListHas(const Toptions &o, const QString &mask);

// Asks for a mask (starting from `address`) and a comment, adds the rule to
// the ban list, and offers to kick the open connections from that exact
// address. Returns whether a rule was added. `srv` may be null (no server).
bool banPrompt(const QString &address, Tprompt &asker, Toptions &o, ThttpSrv *srv);
