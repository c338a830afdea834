#pragma once
// A folder, or a selection of its items, sent as one archive (tar or zip)
// built while it is sent: which files go in is what the visitor's own
// listing shows, under names relative to the folder.
#include <QString>
#include <QStringList>

class TconnData;
class Tfile;

enum TarchiveFormat { AF_TAR, AF_ZIP };

// Fills the reply with the archive of `folder` (or of the items the POST
// variables "selection" name), or with the "deny" page.
void replyArchive(TconnData &cd, Tfile &folder, TarchiveFormat format);

// The selection value's name checks: a component of two or more dots
// anywhere makes it unusable.
bool selectionClimbs(const QString &value);
// "nofolders" asks for bare names unless it is empty, "0" or "false".
bool asksForBareNames(const QString &value);
// The name an archive is offered under: the folder's name ("home" for the
// root), the kind ("selection", "search" or "folder"), the extension.
QString defaultArchiveName(const Tfile &folder, const QString &kind, TarchiveFormat format);
// The name of `item` inside an archive of `folder`: its path below the
// folder with '/' between components (a disk path for items on disk).
// Empty when the item is not below the folder.
QString pathBelowFolder(const Tfile &folder, const Tfile &item);
