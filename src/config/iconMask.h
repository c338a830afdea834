#pragma once
// A file mask that selects an icon by image index. Indexes above 9999 name
// images that the user added (kept in Toptions::iconMasksUserImages).
#include <QString>

struct TiconMask
{
    QString mask;
    int imageIndex = 0;

    friend bool operator==(const TiconMask &, const TiconMask &) = default;
};

inline constexpr int firstUserImageIndex = 10000;
