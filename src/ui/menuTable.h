#pragma once
// Menus as data: each entry has its caption, the mode that offers it, an
// option it switches or a command it runs, and its shortcut. A QMenu is
// filled from a table each time it opens, so the mode and the program's
// state decide what it offers at that moment.
#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>

class QMenu;
class QWidget;

// Which mode offers an entry.
enum TmenuClass {
    MC_ALWAYS,
    MC_EASY,   // easy mode only
    MC_EXPERT, // expert mode only
};

struct TmenuEntry
{
    QString caption;
    TmenuClass cls = MC_ALWAYS;
    // A boolean option ("yes"/"no") that the entry shows checked and
    // switches; applied through the configuration like any option.
    QString optionKey;
    std::function<void()> run;
    QKeySequence key;
    std::function<bool()> offered; // shown at all (besides the mode); none: yes
    std::function<bool()> enabled; // none: yes
    std::function<bool()> checked; // a checkable entry that is not an option
    bool radio = false;            // a choice among its neighbours
    std::function<QString()> liveCaption; // the caption as the state makes it
    QList<TmenuEntry> children;    // a submenu
    std::function<QList<TmenuEntry>()> liveChildren; // a submenu made at opening
    bool separator = false;

    static TmenuEntry line()
    {
        TmenuEntry e;
        e.separator = true;
        return e;
    }
};

// Whether the program is in expert mode; read each time a menu opens.
using TexpertMode = std::function<bool()>;

// Whether the entry is offered now (mode, and its own rule).
bool menuEntryOffered(const TmenuEntry &e, bool expert);
// The caption the entry shows now.
QString menuEntryCaption(const TmenuEntry &e);
// Whether the entry is checked now (its option or its rule).
bool menuEntryChecked(const TmenuEntry &e);
// Runs the entry: switches its option, then runs its command.
void triggerMenuEntry(const TmenuEntry &e);

// Fills `menu` from `entries` each time it is about to show.
void bindMenu(QMenu *menu, const QList<TmenuEntry> &entries, TexpertMode expert);
// Puts the shortcuts of `entries` (submenus included) on `window`, so they
// work while the menus are closed; each checks the entry's rules first.
void bindShortcuts(QWidget *window, const QList<TmenuEntry> &entries, TexpertMode expert);
// The entry with this caption at any depth (its first caption), or null.
const TmenuEntry *findMenuEntry(const QList<TmenuEntry> &entries, const QString &caption);
