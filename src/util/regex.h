#pragma once
// Regular expressions through QRegularExpression, with a cache of compiled
// expressions. Modifier letters: "i" case-insensitive, "m" multi-line anchors,
// "s" dot matches line breaks, "g" greedy (default; "-g" makes repetition
// lazy), "x" extended syntax, "r" accepted and ignored; a "-" turns off the
// letters after it. A "!" keeps the compiled expression for the whole run
// (for the program's own fixed expressions); the others live in a table of
// recent expressions (about 100).
// Positions are 1-based and count UTF-16 units.

#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The compiled expression for `expression` with `modifiers`, from the cache.
// Check isValid() / errorString() for expressions that do not compile.
QRegularExpression cachedRegex(const QString &expression, const QString &modifiers);

// 1-based position of the first match at or after `startAt`, 0 when none.
// `groups` (when given) receives the whole match then every group's text.
// An expression that does not compile gives 0 and its message in `error`
// (cleared otherwise). "s" is off unless the modifiers turn it on.
qsizetype regexFind(const QString &text, const QString &expression, const QString &modifiers = {},
                    QStringList *groups = nullptr, qsizetype startAt = 1, QString *error = nullptr);

// The text of group `groupIndex` (0 = whole match) of the first match, or empty.
QString regexGetGroup(const QString &text, const QString &expression, int groupIndex = 0,
                      const QString &modifiers = {}, qsizetype startAt = 1, QString *error = nullptr);

// Every match replaced by `replacement`, where "$n" and "${n}" stand for group
// n and a backslash takes the next character literally. On a compile error
// the text is returned unchanged and `error` is set.
QString regexReplace(const QString &text, const QString &expression, const QString &replacement,
                     const QString &modifiers = {}, QString *error = nullptr);

// Sizes of the two cache tables, and clearing them (tests).
struct TregexCacheSizes {
    qsizetype permanent = 0;
    qsizetype recent = 0;
};
TregexCacheSizes regexCacheSizes();
void clearRegexCache();
