#include "ui/menuTable.h"

#include "config/cfgKeys.h"
#include "config/config.h"
#include "config/options.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QShortcut>
#include <QWidget>

namespace {

// The value of a boolean option by key; nothing for an unknown key.
std::optional<bool> optionValue(const QString &key)
{
    const TcfgKey *k = findCfgKey(key);
    if (!k || !std::holds_alternative<bool Toptions::*>(k->member))
        return std::nullopt;
    return opts().*std::get<bool Toptions::*>(k->member);
}

void fillMenu(QMenu *menu, const QList<TmenuEntry> &entries, const TexpertMode &expert)
{
    // Submenus and groups of the last opening go with their actions.
    menu->clear();
    qDeleteAll(menu->findChildren<QMenu *>(Qt::FindDirectChildrenOnly));
    qDeleteAll(menu->findChildren<QActionGroup *>(Qt::FindDirectChildrenOnly));
    const bool isExpert = expert && expert();
    QActionGroup *group = nullptr;
    bool lastWasLine = true; // no line at the top
    for (const TmenuEntry &e : entries) {
        if (e.separator) {
            if (!lastWasLine)
                menu->addSeparator();
            lastWasLine = true;
            group = nullptr;
            continue;
        }
        if (!menuEntryOffered(e, isExpert))
            continue;
        lastWasLine = false;
        if (e.children.size() || e.liveChildren) {
            QMenu *sub = menu->addMenu(menuEntryCaption(e));
            const QList<TmenuEntry> children = e.liveChildren ? e.liveChildren() : e.children;
            fillMenu(sub, children, expert);
            sub->setEnabled(!e.enabled || e.enabled());
            group = nullptr;
            continue;
        }
        QAction *a = menu->addAction(menuEntryCaption(e));
        a->setShortcut(e.key);
        a->setShortcutVisibleInContextMenu(true);
        a->setEnabled(!e.enabled || e.enabled());
        if (!e.optionKey.isEmpty() || e.checked) {
            a->setCheckable(true);
            a->setChecked(menuEntryChecked(e));
        }
        if (e.radio) {
            if (!group)
                group = new QActionGroup(menu);
            group->addAction(a);
        } else {
            group = nullptr;
        }
        // The entry is copied: the table may be rebuilt while the menu is open.
        QObject::connect(a, &QAction::triggered, menu, [e] { triggerMenuEntry(e); });
    }
}

void addShortcuts(QWidget *window, const QList<TmenuEntry> &entries, const TexpertMode &expert)
{
    for (const TmenuEntry &e : entries) {
        if (!e.key.isEmpty()) {
            auto *s = new QShortcut(e.key, window);
            QObject::connect(s, &QShortcut::activated, window, [e, expert] {
                if (menuEntryOffered(e, expert && expert()) && (!e.enabled || e.enabled()))
                    triggerMenuEntry(e);
            });
        }
        addShortcuts(window, e.children, expert);
    }
}

} // namespace

bool menuEntryOffered(const TmenuEntry &e, bool expert)
{
    if ((e.cls == MC_EASY && expert) || (e.cls == MC_EXPERT && !expert))
        return false;
    return !e.offered || e.offered();
}

QString menuEntryCaption(const TmenuEntry &e)
{
    return e.liveCaption ? e.liveCaption() : e.caption;
}

bool menuEntryChecked(const TmenuEntry &e)
{
    if (e.checked)
        return e.checked();
    return optionValue(e.optionKey).value_or(false);
}

void triggerMenuEntry(const TmenuEntry &e)
{
    if (const std::optional<bool> now = optionValue(e.optionKey))
        cfg().setCfg(e.optionKey + u'=' + cfgBool(!*now), true);
    if (e.run)
        e.run();
}

void bindMenu(QMenu *menu, const QList<TmenuEntry> &entries, TexpertMode expert)
{
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, entries, expert] { fillMenu(menu, entries, expert); });
}

void bindShortcuts(QWidget *window, const QList<TmenuEntry> &entries, TexpertMode expert)
{
    addShortcuts(window, entries, expert);
}

const TmenuEntry *findMenuEntry(const QList<TmenuEntry> &entries, const QString &caption)
{
    for (const TmenuEntry &e : entries) {
        if (!e.separator && e.caption == caption)
            return &e;
        if (const TmenuEntry *found = findMenuEntry(e.children, caption))
            return found;
    }
    return nullptr;
}
