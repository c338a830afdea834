#pragma once
// The main menu as one table: every group with its entries, the mode that
// offers each, the option it switches or the operation it runs, and the
// shortcuts. Commands of windows not built yet say so when chosen.
#include "ui/menuTable.h"

#include <functional>

class TmainWindow;

// The text shown by commands whose window does not exist yet.
extern const QString MSG_NOT_AVAILABLE_YET;

// The entries filled by another part of the window (the log's own menu),
// asked for each time the menu opens.
using TmenuSource = std::function<QList<TmenuEntry>()>;

// The main menu of `w`; `logMenu` fills its "Log" submenu.
QList<TmenuEntry> buildMainMenu(TmainWindow &w, const TmenuSource &logMenu = {});


class QWidget;
// The tree store's file dialogs ("Load file system...", "Save file
// system...") as dialogs over `parent`.
void installTreeFileDialogs(QWidget *parent);
// "Name|*.ext" as a dialog filter "Name (*.ext)".
QString dialogFilterOf(const QString &storeFilter);
