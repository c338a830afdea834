#pragma once
// The http:// and https:// locations of "load" and "filesize". The macros
// do not speak HTTP themselves: the application installs the client here.
// Without it, such a location loads nothing and measures 0.
#include <QString>

#include <optional>

struct TwebLocations
{
    // `size` bytes from `from` (size -1: to the end) as text, at most
    // `maxBytes` of them; nothing on failure.
    std::optional<QString> (*load)(const QString &url, qint64 from, qint64 size, qint64 maxBytes) = nullptr;
    // The size a HEAD request reports, -1 on failure.
    qint64 (*size)(const QString &url) = nullptr;
};

TwebLocations &webLocations();

// True for a location that begins with "http://" or "https://" (any case).
bool isWebAddress(const QString &location);
