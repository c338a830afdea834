// Text transformations and number conventions shared by the macro language.
#pragma once

#include <QString>
#include <optional>

// Makes a text inert to macro evaluation: wrapped in "{:" ":}" when it holds a
// marker, with inner ":}" and "{:" neutralised so the region cannot unbalance.
QString macroQuote(const QString &text);
// Trims, then drops one enclosing "{:" ":}" pair.
QString macroDequote(const QString &text);
// Request data: every marker, "|" and %symbol% written with character references.
QString disarmMacros(const QString &text);
// Markers written with their first character as a character reference.
QString encodeMarkers(const QString &text);
// The visible error a failing macro leaves in the page.
QString macroErrorText(const QString &macroName, const QString &message);

// Numbers: "." as decimal separator whatever the locale; shortest form with
// up to 15 significant digits, exponent written with a capital E.
QString formatMacroNumber(double v);
std::optional<double> parseMacroFloat(const QString &text);
std::optional<qint64> parseMacroInt(const QString &text);
// False for the empty text and for a number equal to zero.
bool macroIsTrue(const QString &text);
inline QString macroBool(bool b)
{
    return b ? QStringLiteral("1") : QString();
}
