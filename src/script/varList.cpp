#include "script/varList.h"

#include "util/asciiCase.h"
#include "util/encodings.h"

bool TvarList::setVar(const QString &name, const QString &value)
{
    tables.remove(asciiLower(name));
    const qsizetype i = list.indexOf(name);
    if (i < 0) {
        if (value.isEmpty()) return false;
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

void TvarList::setTableVar(const QString &name, TvarTable t)
{
    QStringList lines;
    for (const auto &e : t->entries())
        lines << (e.hasSeparator ? e.name + QLatin1Char('=') + e.value : e.name);
    setVar(name, QString()); // drops any old line and table
    list.append(name, lines.join(QLatin1String("\r\n")));
    setTable(name, std::move(t));
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

bool isEncodedTable(const QString &text)
{
    return text.startsWith(kEncodedTableHeader);
}

QString encodeTable(const TnameValueList &t)
{
    QString out = kEncodedTableHeader;
    for (const auto &e : t.entries())
        out += escapeLineBreaks(e.hasSeparator ? e.name + QLatin1Char('=') + e.value : e.name) +
               QLatin1String("\r\n");
    return out;
}

TvarTable decodeTable(const QString &text)
{
    const QString body = isEncodedTable(text) ? text.mid(kEncodedTableHeader.size()) : text;
    auto t = std::make_shared<TnameValueList>();
    for (QString line : body.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.isEmpty()) continue;
        const QString entry = unescapeLineBreaks(line);
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        if (eq < 0)
            t->append(entry, QString());
        else
            t->append(entry.left(eq), entry.mid(eq + 1));
    }
    return t;
}

bool tableNeedsEncoding(const TnameValueList &t)
{
    for (const auto &e : t.entries())
        if (e.name.contains(QLatin1Char('\r')) || e.name.contains(QLatin1Char('\n')) ||
            e.value.contains(QLatin1Char('\r')) || e.value.contains(QLatin1Char('\n')))
            return true;
    return false;
}
