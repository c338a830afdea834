#include "util/nameValueList.h"

#include "util/asciiCase.h"
#include "util/trimming.h"

namespace {

// Lists this short are searched directly; longer ones get a hash index.
constexpr qsizetype indexThreshold = 16;

template<class S>
S fromLatin(const char *s)
{
    if constexpr (std::is_same_v<S, QString>)
        return QString::fromLatin1(s);
    else
        return QByteArray(s);
}

template<class S>
S folded(const S &s)
{
    return asciiLower(s);
}

template<class S>
S blanksTrimmed(const S &s)
{
    if constexpr (std::is_same_v<S, QString>)
        return trimmedBlanks(QStringView(s)).toString();
    else
        return trimmedBlanks(QByteArrayView(s)).toByteArray();
}

} // namespace

template<class S>
TnameValueListT<S>::TnameValueListT(char nameSeparator, const char *lineSeparator)
    : m_nameSep(nameSeparator), m_lineSep(fromLatin<S>(lineSeparator))
{}

template<class S>
TnameValueListT<S> TnameValueListT<S>::fromText(const S &text, char nameSeparator, const char *lineSeparator)
{
    TnameValueListT list(nameSeparator, lineSeparator);
    list.parse(text);
    return list;
}

template<class S>
void TnameValueListT<S>::parse(const S &text)
{
    // A CR LF or LF separator accepts both; any other splits as given.
    const bool lines = m_lineSep == fromLatin<S>("\r\n") || m_lineSep == fromLatin<S>("\n");
    const S sep = lines ? fromLatin<S>("\n") : m_lineSep;
    if (sep.isEmpty())
        return;
    const bool header = m_nameSep == ':';
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(sep, start);
        if (end < 0)
            end = text.size();
        qsizetype lineEnd = end;
        if (lines && lineEnd > start && text[lineEnd - 1] == '\r')
            --lineEnd;
        if (lineEnd > start) {
            const S line = text.mid(start, lineEnd - start);
            const qsizetype eq = line.indexOf(m_nameSep);
            Entry e;
            if (eq < 0) {
                e.name = header ? blanksTrimmed(line) : line;
                e.hasSeparator = false;
            } else {
                e.name = line.left(eq);
                e.value = line.mid(eq + 1);
                if (header) {
                    e.name = blanksTrimmed(e.name);
                    e.value = blanksTrimmed(e.value);
                }
            }
            addEntry(std::move(e));
        }
        start = end + sep.size();
    }
}

template<class S>
S TnameValueListT<S>::toText() const
{
    S out;
    const S nameSep = m_nameSep == ':' ? fromLatin<S>(": ") : S(1, m_nameSep);
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (i > 0)
            out += m_lineSep;
        const Entry &e = m_entries[i];
        out += e.name;
        if (e.hasSeparator || !e.value.isEmpty()) {
            out += nameSep;
            out += e.value;
        }
    }
    return out;
}

template<class S>
void TnameValueListT<S>::clear()
{
    m_entries.clear();
    m_index.clear();
    m_indexValid = false;
}

template<class S>
void TnameValueListT<S>::buildIndex() const
{
    // Walking backwards leaves the first line of each name in the index.
    m_index.clear();
    m_index.reserve(m_entries.size());
    for (qsizetype i = m_entries.size() - 1; i >= 0; --i)
        m_index.insert(folded(m_entries[i].name), i);
    m_indexValid = true;
}

template<class S>
qsizetype TnameValueListT<S>::indexOf(const S &name) const
{
    if (m_entries.size() < indexThreshold) {
        for (qsizetype i = 0; i < m_entries.size(); ++i)
            if (sameText(m_entries[i].name, name))
                return i;
        return -1;
    }
    if (!m_indexValid)
        buildIndex();
    return m_index.value(folded(name), -1);
}

template<class S>
S TnameValueListT<S>::value(const S &name, const S &defaultValue) const
{
    const qsizetype i = indexOf(name);
    return i < 0 ? defaultValue : m_entries[i].value;
}

template<class S>
void TnameValueListT<S>::set(const S &name, const S &value)
{
    const qsizetype i = indexOf(name);
    if (i < 0) {
        append(name, value);
        return;
    }
    m_entries[i].value = value;
    m_entries[i].hasSeparator = true;
}

template<class S>
void TnameValueListT<S>::append(const S &name, const S &value)
{
    addEntry(Entry{name, value, true});
}

template<class S>
void TnameValueListT<S>::addEntry(Entry e)
{
    // An index in use stays valid: only a first occurrence is recorded.
    if (m_indexValid) {
        const S key = folded(e.name);
        if (!m_index.contains(key))
            m_index.insert(key, m_entries.size());
    }
    m_entries.append(std::move(e));
}

template<class S>
qsizetype TnameValueListT<S>::remove(const S &name)
{
    const qsizetype before = m_entries.size();
    m_entries.removeIf([&](const Entry &e) { return sameText(e.name, name); });
    const qsizetype removed = before - m_entries.size();
    if (removed) {
        m_index.clear();
        m_indexValid = false;
    }
    return removed;
}

template<class S>
void TnameValueListT<S>::removeAt(qsizetype i)
{
    m_entries.removeAt(i);
    m_index.clear();
    m_indexValid = false;
}

template class TnameValueListT<QString>;
template class TnameValueListT<QByteArray>;
