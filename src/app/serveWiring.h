#pragma once
// Request handling as the program uses it: the server's parts, its share of
// the heartbeat and of the shutdown, and the configuration's control over it.
// Tapplication connects these to the program's steps.

#include <QStringList>

// Sessions, uploads, the macros' view of the accounts, and the comments
// that protected nodes may announce as their realm.
void installServeParts();
// The server's admission rules (bans, connection, download and speed limits).
void installAdmissionRules();
// Heartbeat steps. Every tick: the records of ended connections freed, and
// the connections' activity noted for the inactivity timeout.
void releaseEndedConnections();
void watchConnections();
// Every minute: expired sessions released.
void releaseExpiredSessions();
// Every second: limits and bans that follow the options, each connection's
// transfer speed, socket buffer and inactivity timeout, the no-download
// timeout.
void connectionsSecond();
// Shutdown: every connection closed and waited for (the application then
// releases the server).
void closeAllConnections();
// Start, stop, state and byte counts of the server for the options; the
// quit and buffer size the timeouts ask the program for.
void giveControlOfServer();
// Options applied: the server's switches that follow them (keep-alive).
void optionsToServer();

// Adds files and folders named on a command line (or handed over by another
// start) below the add-to-folder node, else the root, as a drop of those
// paths: the operator's questions (headless: the safe answers) decide.
void addHandedPaths(const QStringList &paths);
