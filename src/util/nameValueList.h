#pragma once
// An ordered list of name=value lines. Names match without regard to ASCII
// case and the first line with a name answers. The same class holds option
// texts ("=", lines), query variables ("=", "&") and headers (":", lines).

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

template<class S>
class TnameValueListT
{
public:
    struct Entry {
        S name;
        S value;
        bool hasSeparator = true; // false for a line without the separator ("flag" query variables)
    };

    // `lineSeparator` is written between lines; on input a CR LF separator
    // also accepts a bare LF. With ":" as name separator values are trimmed
    // on input and written after ": ".
    TnameValueListT() : TnameValueListT('=', "\r\n") {}
    explicit TnameValueListT(char nameSeparator, const char *lineSeparator = "\r\n");

    static TnameValueListT fromText(const S &text, char nameSeparator = '=', const char *lineSeparator = "\r\n");

    void parse(const S &text);  // appends the lines of `text`; empty lines are skipped
    S toText() const;           // lines joined by the line separator, no trailing one

    qsizetype count() const { return m_entries.size(); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    void clear();

    qsizetype indexOf(const S &name) const; // first line with the name, -1 when none
    bool contains(const S &name) const { return indexOf(name) >= 0; }
    S value(const S &name, const S &defaultValue = S()) const;
    // Replaces the value of the first line with the name, or appends a line.
    void set(const S &name, const S &value);
    void append(const S &name, const S &value);
    // Removes every line with the name; returns how many went.
    qsizetype remove(const S &name);

    const Entry &at(qsizetype i) const { return m_entries.at(i); }
    const S &nameAt(qsizetype i) const { return m_entries.at(i).name; }
    const S &valueAt(qsizetype i) const { return m_entries.at(i).value; }
    void setValueAt(qsizetype i, const S &value) { m_entries[i].value = value; }
    void removeAt(qsizetype i);
    const QList<Entry> &entries() const { return m_entries; }

    char nameSeparator() const { return m_nameSep; }

private:
    void addEntry(Entry e);
    void buildIndex() const;

    QList<Entry> m_entries;
    char m_nameSep;
    S m_lineSep;
    // Folded name -> first index; built on demand for long lists, dropped
    // when lines are removed.
    mutable QHash<S, qsizetype> m_index;
    mutable bool m_indexValid = false;
};

using TnameValueList = TnameValueListT<QString>;
using TnameValueBytes = TnameValueListT<QByteArray>;

extern template class TnameValueListT<QString>;
extern template class TnameValueListT<QByteArray>;
