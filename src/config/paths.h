#pragma once
// Where the program keeps its state. Every folder returned here ends with "/".
#include <QString>

// The program's own folder (of the running executable).
QString programFolder();

// The configuration folder: "zof.ini", the events file, saved logs and the
// last tree file live there.
QString cfgPath();
void setCfgPath(const QString &folder);

// Folder for temporary files of the program.
QString tmpPath();
void setTmpPath(const QString &folder);

// The configuration folder chosen when "-i" gave none: the program's folder
// when a zof.ini lies there (portable use), else ${XDG_CONFIG_HOME:-~/.config}/zof/.
QString defaultCfgPath(const QString &programDir);

// ${XDG_CONFIG_HOME:-~/.config}/ with a final "/".
QString xdgConfigHome();

// The program's folder when a file can be written and deleted there, else
// the system's temporary folder.
QString detectTmpPath(const QString &programDir);

// Adds a final "/" when missing; empty stays empty.
QString withSlash(const QString &folder);
