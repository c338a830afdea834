#pragma once
// The log view's text tools that need no window: the search of the search
// box, the lines a pattern picks, and the client address a log line names.
#include <QString>

struct TlogSearchHit
{
    bool found = false;
    // The characters to select; length 0 with found: nothing to do (the
    // pattern was empty).
    qsizetype start = 0;
    qsizetype length = 0;
};

// Searches `text` for `pattern` (letters without regard to case) from the
// `caret` position. `direction` 0 matches at the caret first (as the
// operator types), then goes on backwards; -1 searches backwards, +1
// forwards; both wrap around. A pattern with "?" or "*" is matched with the
// wildcard matcher within one line; a plain one as text.
TlogSearchHit logSearch(const QString &text, const QString &pattern, qsizetype caret, int direction);

// Every line of `text` that contains a match of `pattern` as a file mask,
// each followed by CR LF.
QString logLinesMatching(const QString &text, const QString &pattern);

// The client address named by a view line ("stamp  [user@]address:port
// text"), or empty when there is none or it is no valid address mask.
QString logLineAddress(const QString &line);
