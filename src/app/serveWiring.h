#pragma once
// Plugs request handling into the program's start-up, heartbeat and
// shutdown, and gives the configuration control over the server.

#include <QStringList>

class Tprogram;

void installServeHooks(Tprogram &program);

// Adds files and folders named on a command line below the root; folders
// become real folders when `realFolders`, else virtual ones.
void addFilesToRoot(const QStringList &paths, bool realFolders);
