#pragma once
// Human-readable numbers. Decimals always use ".", whatever the locale.

#include <QString>

// "N/A" below zero, bytes below 1024, then "%.1f K", "%.1f M", "%.1f G".
QString smartSize(qint64 bytes);

// Digits grouped by three from the right with `separator`; when none is
// given, the locale's group separator (or "," when the locale's would be
// "." or empty, since "." is the decimal separator here).
QString groupDigits(qint64 n, const QString &separator = {});

// "h:mm:ss" with hours not wrapped at 24; the span (in seconds) is truncated
// to whole seconds. Negative spans get a leading "-".
QString formatDuration(double seconds);

// A number with "." as decimal separator and no exponent, trailing zeros of
// the fraction removed ("2.5", "3", "0.125").
QString formatFloat(double value, int maxDecimals = 6);
