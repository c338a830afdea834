#pragma once
// Names a node of the tree may carry, and free names among siblings.

#include <QString>

class Tfile;

// A file or folder name: not empty, not dots only ("." and ".." would be
// taken as path steps), no control character and none of \ / : * ? < > | ".
bool validNodeName(const QString &name);
// What a link may be called: anything a URL segment can hold (not empty, no
// "/", not dots only, no control character).
bool validLinkName(const QString &name);
// The child of `folder` called `name` (ASCII case folded), `except` skipped.
Tfile *childNamed(const Tfile *folder, const QString &name, const Tfile *except = nullptr);
// `name`, or the first "name (2)", "name (3)", ... that no child of `folder`
// other than `except` carries.
QString freeChildName(const Tfile *folder, const QString &name, const Tfile *except = nullptr);
