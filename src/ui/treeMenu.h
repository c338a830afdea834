#pragma once
// The tree's menu as a table of entries: which ones are offered is decided
// from the selection each time it opens; each command calls the operations
// layer on the selected nodes.
#include "ui/menuTable.h"
#include "vfs/treeCommands.h"

class TvfsTreeView;
class Tfile;

// What the decision reads, taken from the view, the options and the clipboard.
TtreeMenuState treeMenuState(const TvfsTreeView &view);

QList<TmenuEntry> treeMenuEntries(TvfsTreeView &view);

// The addresses a URL may be built with, for "Copy URL with different host
// address": the URL address candidates.
QStringList urlHostChoices();

// The URL a browser is sent to for `url`: a link's own unchanged; otherwise,
// with `localhost` and a listening `port`, the host part becomes
// "localhost:" and the port.
QString browseUrl(const QString &url, bool isLink, bool localhost, const QString &port);
