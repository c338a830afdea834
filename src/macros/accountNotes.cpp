#include "macros/accountNotes.h"

#include "util/asciiCase.h"

namespace {

bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n';
}

// Where the value of key's first line starts; -1 when no line has the key.
qsizetype valueStart(const QString &notes, const QString &key)
{
    const QString probe = key + u'=';
    for (qsizetype from = 0; from + probe.size() <= notes.size();) {
        if (startsWithText(QStringView(notes).mid(from), probe))
            return from + probe.size();
        // On to the start of the next line.
        qsizetype i = from;
        while (i < notes.size() && !isLineBreak(notes.at(i)))
            ++i;
        while (i < notes.size() && isLineBreak(notes.at(i)))
            ++i;
        if (i == from)
            break;
        from = i;
    }
    return -1;
}

qsizetype lineEnd(const QString &notes, qsizetype from)
{
    while (from < notes.size() && !isLineBreak(notes.at(from)))
        ++from;
    return from;
}

} // namespace

QString notesKeyValue(const QString &notes, const QString &key)
{
    if (key.isEmpty())
        return {};
    const qsizetype start = valueStart(notes, key);
    return start < 0 ? QString() : notes.mid(start, lineEnd(notes, start) - start);
}

bool setNotesKey(QString &notes, const QString &line)
{
    const qsizetype eq = line.indexOf(u'=');
    const QString key = eq < 0 ? line : line.left(eq);
    const QString value = eq < 0 ? QString() : line.mid(eq + 1);
    if (key.isEmpty() || std::any_of(line.cbegin(), line.cend(), isLineBreak))
        return false;
    const qsizetype start = valueStart(notes, key);
    if (start >= 0) {
        notes.replace(start, lineEnd(notes, start) - start, value);
        return true;
    }
    if (!notes.isEmpty())
        notes += QLatin1String("\r\n");
    notes += key + u'=' + value;
    return true;
}
