#pragma once
// The connection list's menu: kicks, the ban prompt, pausing a download
// and the request as received, on the selected row.
#include "ui/menuTable.h"

#include <functional>

class TconnectionsView;

// `banAddress` runs the window's ban prompt with an address.
QList<TmenuEntry> connectionMenuEntries(TconnectionsView *view, std::function<void(const QString &)> banAddress);
