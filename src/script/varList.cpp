#include "script/varList.h"

#include "util/asciiCase.h"

bool TvarList::setVar(const QString &name, const QString &value)
{
    tables.remove(asciiLower(name));
    const qsizetype i = list.indexOf(name);
    if (i < 0) {
        if (value.isEmpty())
            return false;
        list.append(name, value);
        return true;
    }
    if (value.isEmpty())
        list.removeAt(i);
    else
        list.setValueAt(i, value);
    return true;
}

void TvarList::setValueKeepTable(const QString &name, const QString &value)
{
    const qsizetype i = list.indexOf(name);
    if (i < 0)
        list.append(name, value);
    else
        list.setValueAt(i, value);
}

void TvarList::clear()
{
    list.clear();
    tables.clear();
}

TvarTable TvarList::table(const QString &name) const
{
    return tables.value(asciiLower(name));
}

void TvarList::setTable(const QString &name, TvarTable t)
{
    tables.insert(asciiLower(name), std::move(t));
}

TvarTable tableFromText(const QString &text)
{
    return std::make_shared<TnameValueList>(TnameValueList::fromText(text));
}
