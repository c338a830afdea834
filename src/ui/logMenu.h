#pragma once
// The log's menu, as the main menu's "Log" entry and the log view's own
// context menu: the switches of what is logged, the log's value options,
// and the view's commands.
#include "ui/menuTable.h"

#include <functional>

class TlogView;

struct TlogMenuHooks
{
    // "Ban this address": the window's ban prompt with the address.
    std::function<void(const QString &address)> banAddress;
    // Entries that open other windows; not offered while unset.
    std::function<void()> assignNames;
    std::function<void()> addressesEver;
};

QList<TmenuEntry> logMenuEntries(TlogView *view, const TlogMenuHooks &hooks);

// Applies one option line ("key=value") the way the menus do.
void applyOptionLine(const QString &key, const QString &value);
