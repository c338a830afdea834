#pragma once
// The folder that relative disk paths of macros and templates start from.
// It is the program's folder (filesBaseFolder) until "chdir" moves it. Kept
// here rather than as the process's working folder: the server never changes
// that, so nothing else in the program sees paths move under it.

#include <QString>

QString workingFolder();
// `osFolder` may be relative to the working folder; false (and no change)
// when it is not an existing folder.
bool setWorkingFolder(const QString &osFolder);
// Back to the program's folder.
void resetWorkingFolder();
// `path` made absolute against the working folder and cleaned; empty stays empty.
QString inWorkingFolder(const QString &path);
