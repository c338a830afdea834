#pragma once

// Key lines in an account's notes: lines of the form key=value that
// templates read and write one at a time.

#include <QString>

// The value of the first line starting with key "=" (ASCII letter case
// ignored); empty when there is none.
QString notesKeyValue(const QString &notes, const QString &key);

// Sets a key line from `line` ("key=value"; without "=", the key with an
// empty value): the rest of the key's first line is replaced, or the line is
// appended (after CR LF unless the notes are empty). Refused (false, notes
// unchanged) for an empty key or a line break anywhere, which would forge
// other key lines.
bool setNotesKey(QString &notes, const QString &line);
