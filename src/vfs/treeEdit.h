#pragma once
// The operator's editing commands on nodes of the tree: rename, move,
// remove, folder conversions, root binding, resource, user and password,
// the "new" flag, properties and purge. Questions and messages go through
// the prompt given (scripts give one with preset answers); every change marks
// the tree modified.

#include "vfs/nodeProperties.h"

#include <QList>
#include <QString>

class Tvfs;
class Tfile;
class Tprompt;

inline const QString MSG_INVALID_FILENAME = QStringLiteral("Invalid filename");
inline const QString MSG_NAME_CLASH =
    QStringLiteral("An item with the same name is already present in this folder.\rContinue?");
inline const QString MSG_ITEM_LOCKED = QStringLiteral("The item is locked");
inline const QString MSG_DELETE = QStringLiteral("Delete?");
inline const QString MSG_SOME_LOCKED = QStringLiteral("Some items were not affected because locked");
inline const QString MSG_LINKS_UNPROTECTED = QStringLiteral(
    "Links are NOT actually protected.\rThe feature is there to be used with the \"list protected items only...\" "
    "option.\rContinue?");

// What "Purge..." removes.
struct TpurgeChoices {
    bool missingFiles = false;       // "Non-existent files"
    bool missingRealFolders = false; // "Non-existent real folders"
    bool emptyFolders = false;       // "Empty folders" (virtual ones)
};

class TtreeEditor {
public:
    TtreeEditor(Tvfs &vfs, Tprompt &ask);

    // In-place rename. The root keeps its name; the name is trimmed; an
    // invalid one shows "Invalid filename"; a name some item of the folder
    // already has (this node under its old name included) asks first, and on
    // Yes a name held by another item becomes "name (2)", "name (3)", ...
    // Returns whether the name changed.
    bool rename(Tfile *f, const QString &newName);

    // Moves the selected nodes (each with its subtree; one below another
    // selected goes with it) into `dropOn`, or into its folder. Refused with
    // the root or a locked node selected, onto a selected node's own folder,
    // or into a selected node or below one. A name the target has asks first
    // and on Yes takes a numbered name. Returns whether anything moved.
    bool move(const QList<Tfile *> &selection, Tfile *dropOn);
    // Whether `move` would act (a drag shows it).
    bool canMove(const QList<Tfile *> &selection, Tfile *dropOn) const;

    // One node: never the root; a locked one shows "The item is locked".
    bool remove(Tfile *f);
    // The selection: asks "Delete?" unless the tree's settings say not to
    // (the root alone asks nothing and does nothing); locked nodes are
    // skipped and reported once. Returns how many were removed.
    int removeSelection(const QList<Tfile *> &selection);

    // Real folders become virtual folders filled from their disk folders
    // (only the custom icon is kept); virtual folders made from a disk folder
    // become real ones again, losing their children in the tree. Locked ones
    // are skipped and reported. Return how many were converted.
    int toVirtualFolders(const QList<Tfile *> &selection);
    int toRealFolders(const QList<Tfile *> &selection);

    // The root as a real folder over `folder` (an existing directory), and
    // back to a virtual one.
    bool bindRoot(const QString &folder);
    bool unbindRoot();

    // A file or real folder gets a new disk item; its name follows unless the
    // operator had given it one of its own.
    bool editResource(Tfile *f, const QString &newPath);

    // Asks for a user and password (starting from `current`'s; links among
    // the selection ask first whether to go on) and sets them on every
    // selected node; the tree keeps track of them for logins.
    bool setUserPass(const QList<Tfile *> &selection, const Tfile *current);
    void resetUserPass(const QList<Tfile *> &selection);

    void flagAsNew(const QList<Tfile *> &selection);
    void resetNewFlag(const QList<Tfile *> &selection);

    // Writes the given fields on each selected node they apply to.
    void setProperties(const QList<Tfile *> &selection, const TnodeProperties &p);

    // Walks `from` (the root when null) and removes what `choices` names;
    // folders emptied by the walk go too. Returns how many were removed.
    int purge(Tfile *from, const TpurgeChoices &choices);

private:
    bool askClash();

    Tvfs &vfs_;
    Tprompt &ask_;
};
