#pragma once
// The program's image list: built-in 16x16 GIF pictures, followed by the
// images the operator added (icon masks).

#include <QByteArray>
#include <QString>

inline constexpr int ICON_LINK = 4;
inline constexpr int ICON_FOLDER = 6;
inline constexpr int ICON_LOCK = 12;
inline constexpr int ICON_FAVICON = 23;
inline constexpr int ICON_FILE = 37;

// Registers the built-in pictures and assets (a static library's resources
// are not registered by themselves). Idempotent.
void initServeResources();

// Number of built-in pictures.
int builtinIconCount();
// The GIF bytes of picture `index`; empty when there is none.
QByteArray iconGif(int index);

// The picture an "/~img" request names: the text after "/~img" ("_link",
// "_file", "_folder", "_lock" or a decimal index). -1 when unknown; -2 for
// "_graph" (the traffic graph).
int iconIndexFor(const QString &name);

// The built-in jQuery library.
QByteArray jqueryBytes();
