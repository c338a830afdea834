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
    // The variable's text becomes the entries, one per line, and `t` is attached.
    void setTableVar(const QString &name, TvarTable t);
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

// Encoded tables, the file form of a table whose values may hold line
// breaks: the header line, then each entry with its line breaks escaped.
inline const QString kEncodedTableHeader = QStringLiteral("this is an encoded table\r\n");
bool isEncodedTable(const QString &text);
QString encodeTable(const TnameValueList &t);
// The text after the header line (or a text without it) read back.
TvarTable decodeTable(const QString &text);
// True when an entry holds CR or LF, so only the encoded form keeps it.
bool tableNeedsEncoding(const TnameValueList &t);
