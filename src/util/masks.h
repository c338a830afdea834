#pragma once
// File masks ("*.jpg;*.gif", "\" in front inverts) and address masks
// ("lan;10.0.0.1-10.0.0.9;192.168.0.0/16;192.168.*").

#include "util/addresses.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

// The number of characters of `text` that `pattern` consumes ("?" one
// character, "*" any run), 0 when it does not match. With `wholeText` the
// pattern must consume all of the text; otherwise a match of any prefix is
// accepted. Neither "?" nor "*" may take a character of `stopChars`.
// Letters compare without regard to case. Runs in O(pattern x text) time
// whatever the pattern.
qsizetype wildcardMatchLength(QStringView pattern, QStringView text, bool wholeText,
                              QStringView stopChars = {});

// True when `text` matches one of the ";"-separated pieces of `mask`. An odd
// number of leading backslashes inverts the result; a mask empty after them
// matches everything.
bool matchFileMask(QStringView mask, QStringView text);

// matchFileMask with its answers kept, for a mask asked about the same few
// names again and again (one per request). The answers are forgotten when
// the mask changes, and all at once when too many are kept.
class TfileMaskMemo
{
public:
    bool matches(const QString &mask, const QString &name);

private:
    static constexpr qsizetype maxNames = 1024;
    QString memoFor;
    bool primed = false;
    QHash<QString, bool> known;
};

// True when the client `address` matches the address mask: pieces "lan",
// ranges "A-B" (either family), IPv4 prefixes "A/n" and wildcard patterns,
// separated by ";", the first matching piece deciding; leading backslashes
// invert as in file masks.
bool matchAddressMask(QStringView mask, const QString &address);

// The name of the first pair (name, address mask) of the flat list `pairs`
// whose mask matches `address`; empty when none does.
QString nameForAddress(const QStringList &pairs, const QString &address);

// The syntax check applied when the operator enters address masks (ban list,
// address-to-name list).
bool isAddressMaskValid(QStringView mask);
