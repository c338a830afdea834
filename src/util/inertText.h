#pragma once
// Text that comes from outside the templates (names on disk, comments,
// uploads, request data) is shown by pages but never run by the macro
// language: neither its macros nor its symbols. The tree prepares such text
// without the macro engine, so the transformations live here.

#include <QString>

// Every "%" that opens a symbol ("%" then an ASCII letter or "_", then
// letters, digits, "-" or "_", then "%") written as the reference "&#37;".
// A name made of hexadecimal digits only is left: it reads as percent
// escapes ("%C3%A9"), and no symbol is named so.
QString disarmSymbols(const QString &text);

// Symbols disarmed, then, when the text holds a macro marker ("{.", "{:",
// ".}", ":}" or "|"), the whole wrapped in the quote markers "{:" ":}" with
// every inner ":}" and "{:" written with a reference, so the region cannot
// be closed early. Plain text comes back unchanged.
QString makeInert(const QString &text);

// The text that makeInert (or disarming) was given: quote markers removed,
// then the references it writes turned back into their characters. For a
// name or path that a page built from inert values and hands to an
// operation (the operation reads it, nothing runs it).
QString plainFromInert(QString text);
