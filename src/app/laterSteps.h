#pragma once
// Heartbeat steps whose work belongs to services this program does not have
// yet: the desktop window, the outgoing network services (external address,
// dynamic DNS) and the events file. Each holds its place in the
// schedule and does nothing until that service fills it.

// Every tick: the log view's search highlight. Filled by the window later.
void highlightLogSearch();

// Every 10 minutes, with a dynamic DNS updater set: the external address
// searched again (netWiring.cpp).
void searchExternalAddressAgain();

// Every minute: the daily update check (with update-daily on; updateWiring.cpp).
void checkForUpdateDaily();
// Every minute: file-type icons cached for more than 5 minutes released.
// Filled by the window later (it owns the icon cache).
void releaseOldIcons();

// The per-second work, in its order:
// the window brought back within the monitors (window, later);
void keepWindowOnScreen();
// the dynamic DNS update when due (netWiring.cpp);
void updateDynamicDns();
// a rename in the properties window ended, the connections view refreshed
// (window, later);
void refreshConnectionsView();
// the one-time warning about a tree of many items (the tree's, built);
void warnOfManyItems();
// ... the tree's automatic saving and the connections' work (built) ...
// the window's bounds remembered for the option "window" (window, later);
void rememberWindowBounds();
// a delayed program update installed once no connection is left
// (updateWiring.cpp);
void runPendingUpdate();
// the copy-URL button's caption (window, later);
void updateCopyUrlCaption();
// ... the template file and the automatic options save (built) ...
// ... the events file reloaded when it changed (built) ...
// the "Run script" window's automatic run (window, later);
void runScriptWindowWhenChanged();
// ... the timed event sections (built).

// Every graph-rate ticks, after the sample: the graph drawn (window, later).
void paintGraph();
