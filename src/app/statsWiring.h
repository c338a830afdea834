#pragma once
// The statistics as the program keeps them: the bandwidth graph sampled by
// the heartbeat, the status bar's values gathered once a second, and its
// temporary message. The window paints what these produce.
#include "log/graph.h"
#include "log/statusPanels.h"

#include <QList>
#include <QString>

#include <functional>

// The program's bandwidth graph.
Tgraph &trafficGraph();
// Every graph-rate ticks: the bytes of the period from the server's counts.
void sampleGraph();

// A message shown last in the status bar for `seconds`.
void setStatusBarText(const QString &text, double seconds);
// "Show memory usage" (Debug menu): the status bar shows the process's memory.
void setShowMemoryUsage(bool on);

// The status bar's values now, from the server, the tree, the options and
// the templates.
TstatusValues statusValuesNow();
// Where the status bar goes; the window installs it (none headless).
std::function<void(const QList<TstatusPanel> &)> &statusBarOutlet();
// Every second: the panels rebuilt and handed to the outlet, if any.
void refreshStatusBar();
