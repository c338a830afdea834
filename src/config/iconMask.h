#pragma once
// Icon masks (TiconMask: a file mask and an image index) are the tree's type.
// Indexes from firstUserImageIndex on name images that the user added (kept
// in Toptions::iconMasksUserImages).
#include "vfs/vfsSettings.h"

inline constexpr int firstUserImageIndex = 10000;
