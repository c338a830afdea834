// Macro variables: an ordered name=value list (names match ignoring ASCII
// letter case, the first line answers) where a variable may carry a table,
// a second name=value list built from its text on first use.
#pragma once

#include "util/nameValueList.h"

#include <QHash>
#include <QString>
#include <memory>

using TvarTable = std::shared_ptr<TnameValueList>;

class TvarList
{
public:
    bool contains(const QString &name) const { return list.contains(name); }
    QString value(const QString &name) const { return list.value(name); }
    // An empty value deletes the variable; a new name with an empty value
    // does nothing. Any attached table is released. Returns whether something
    // was set or deleted.
    bool setVar(const QString &name, const QString &value);
    // Sets the text and keeps an attached table ("set table").
    void setValueKeepTable(const QString &name, const QString &value);
    void clear();

    TvarTable table(const QString &name) const;
    void setTable(const QString &name, TvarTable t);

    const TnameValueList &lines() const { return list; }

private:
    TnameValueList list;
    QHash<QString, TvarTable> tables; // by ASCII-folded name
};

// "name=value" lines as a table.
TvarTable tableFromText(const QString &text);
