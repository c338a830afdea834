#pragma once
// Adding items to the tree: disk paths dropped or handed over, a disk folder
// copied in as virtual folders, new empty folders and links. Questions go
// through prompt() (headless: the safe answer); the window is reached through
// editOutlets(). Long additions let the event loop run, so the server keeps
// answering; the tree's adding state (Tvfs::adding) tells saving and loading
// to wait and carries the abort request.

#include "vfs/file.h"

#include <QList>
#include <QSet>
#include <QString>

class Tvfs;

// Texts shown by the additions.
extern const QString MSG_ADD_ABORTED;         // "File addition was aborted...."
extern const QString MSG_ADD_COMMENT;         // "Please insert a comment for \"%s\"...."
extern const QString MSG_ADD_COMMENT_TITLE;   // "Comment"
extern const QString MSG_ADD_STATUS;          // "Adding item #%d"
extern const QString MSG_INSTALL_TEMPLATE;    // "Install this template?"
extern const QString MSG_UPLOAD_FOLDER;       // "Do you want ANYONE to be able to upload..."
extern const QString MSG_NAMES_EXIST;         // "%s item(s) already exists:..."
extern const QString MSG_FOLDER_KIND_TITLE;   // "What kind of folder do you want?"
extern const QStringList MSG_FOLDER_KIND_LINES;
extern const QStringList MSG_FOLDER_KIND_BUTTONS; // "Real folder" (default), "Virtual folder"
extern const QString MSG_LINK_URL;            // "Please insert an URL for the link..."
extern const QString MSG_LINK_URL_TITLE;      // "Set URL"
extern const QString MSG_MANY_ITEMS;          // "You are putting many files...."

// The link target for what the operator typed: a bare mail address gets
// "mailto:" in front.
QString linkUrlFromInput(const QString &typed);

class TtreeAdder
{
public:
    explicit TtreeAdder(Tvfs &vfs) : vfs_(vfs) {}

    // Adds the detached node `f` below `parent` (the root when null; the
    // folder above a file or link). Returns the added node, or null when an
    // item of that name is already there (the node is then dropped).
    Tfile *addFile(const TfilePtr &f, Tfile *parent, bool skipComment);

    // A node made from its disk folder (a folder turned virtual) added below
    // `parent` as an addition: the adding counter holds saving and loading,
    // the folder is filled from the disk, nothing is asked or selected.
    // The node keeps its name; null when an item of that name is there.
    Tfile *addFromDisk(const TfilePtr &f, Tfile *parent);

    // Adds disk paths, one per line, below `target`. Returns the last node
    // added, or null.
    Tfile *addDroppedPaths(const QString &paths, Tfile *target);

    // `name`, or "name (2)", "name (3)"... whichever no item of the target
    // folder has (letter case ignored).
    QString uniqueName(const QString &name, Tfile *target) const;

    // A new empty virtual folder / link below the selected node, selected
    // (the folder's name opened for editing, the link's URL asked for).
    Tfile *newFolder(Tfile *selected);
    Tfile *newLink(Tfile *selected);
    // Asks for a URL (starting from the first link's) and gives it to every
    // link among `nodes`. False when cancelled.
    bool askLinkUrl(const QList<Tfile *> &nodes);

    // Where handed-over paths go: the node at the URL of add-to-folder, else
    // `focused` (when null, the one editOutlets().focusedNode gives), else
    // the root.
    Tfile *handOverTarget(Tfile *focused = nullptr) const;

    // Once per tree, with many-items-warning on and more than 1000 nodes.
    // Returns whether it warned now.
    bool warnOfManyItems();

private:
    struct TonDisk; // the disk folders on the path being filled (loops)
    Tfile *addRecursive(const TfilePtr &f, Tfile *target, QSet<QString> *takenNames, const TonDisk *above);
    void fillFromDisk(Tfile &folder, const TonDisk *above);
    void countItem();
    Tfile *folderOf(Tfile *node) const;

    Tvfs &vfs_;
};
