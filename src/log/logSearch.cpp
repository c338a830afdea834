#include "log/logSearch.h"

#include "util/masks.h"
#include "util/regex.h"

#include <algorithm>

namespace {

const QString searchLineEnds = QStringLiteral("\r\n");

qsizetype searchMatchAt(const QString &pattern, const QString &text, qsizetype at)
{
    return wildcardMatchLength(pattern, QStringView(text).mid(at), false, searchLineEnds);
}

TlogSearchHit searchHit(qsizetype start, qsizetype length)
{
    return {true, start, length};
}

// Every start position is tried once, stepping by `dir` and wrapping.
TlogSearchHit searchWildcards(const QString &text, QString pattern, qsizetype caret, int dir)
{
    while (pattern.startsWith(u'*'))
        pattern.remove(0, 1);
    while (pattern.endsWith(u'*'))
        pattern.chop(1);
    const qsizetype n = text.size();
    if (pattern.isEmpty() || n == 0)
        return {};
    qsizetype pos = caret + dir;
    for (qsizetype tries = 0; tries < n; ++tries, pos += dir) {
        if (pos >= n)
            pos = 0;
        else if (pos < 0)
            pos = n - 1;
        if (const qsizetype m = searchMatchAt(pattern, text, pos); m > 0)
            return searchHit(pos, m);
    }
    return {};
}

TlogSearchHit searchPlain(const QString &text, const QString &pattern, qsizetype caret, int dir)
{
    const qsizetype len = pattern.size();
    qsizetype at = -1;
    if (dir > 0) {
        at = text.indexOf(pattern, std::min(caret + 1, text.size()));
        if (at < 0)
            at = text.indexOf(pattern);
    } else {
        // The nearest occurrence that ends at the caret or before it.
        if (caret - len >= 0)
            at = text.lastIndexOf(pattern, caret - len);
        if (at < 0)
            at = text.lastIndexOf(pattern);
    }
    return at < 0 ? TlogSearchHit{} : searchHit(at, len);
}

} // namespace

TlogSearchHit logSearch(const QString &textIn, const QString &patternIn, qsizetype caret, int direction)
{
    if (patternIn.isEmpty())
        return {true, caret, 0};
    const QString text = textIn.toLower();
    const QString pattern = patternIn.toLower();
    caret = std::clamp<qsizetype>(caret, 0, text.size());
    if (direction == 0) {
        if (const qsizetype m = searchMatchAt(pattern, text, caret); m > 0)
            return searchHit(caret, m);
    }
    const int dir = direction > 0 ? 1 : -1;
    if (pattern.contains(u'?') || pattern.contains(u'*'))
        return searchWildcards(text, pattern, caret, dir);
    return searchPlain(text, pattern, caret, dir);
}

QString logLinesMatching(const QString &text, const QString &pattern)
{
    const QString mask = u'*' + pattern + u'*';
    QString out;
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!line.isEmpty() && matchFileMask(mask, line))
            out += line.toString() + QStringLiteral("\r\n");
    }
    return out;
}

QString logLineAddress(const QString &line)
{
    const QString address
        = regexGetGroup(line, QStringLiteral("^.+  (\\S+@)?\\[?(\\S+?)\\]?:\\d+  "), 2, QStringLiteral("!mi"));
    return !address.isEmpty() && isAddressMaskValid(address) ? address : QString();
}
