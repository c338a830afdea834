#pragma once

// The virtual file system: the tree of nodes under its root, the counters of
// files reached through real folders, the modified flag and the operations on
// the whole tree.

#include "vfs/file.h"
#include "vfs/usersInVFS.h"
#include "vfs/vfsSettings.h"

#include <QCollator>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

class Taccounts;

// An addition of dropped or handed-over paths in progress. Saving and
// loading wait for it; the quit path asks it to stop.
struct TaddingState {
    int counter = -1;            // items added so far; -1 when none runs
    bool abortRequested = false; // the operator's abort button
    bool closing = false;        // the program quits: stop and undo the item in progress
    bool manyItemsWarned = false;
    bool running() const { return counter >= 0; }
    bool stopping() const { return abortRequested || closing; }
};

// Told about changes, so that a view of the tree can follow them.
class TvfsObserver {
public:
    virtual ~TvfsObserver() = default;
    virtual void nodeAdded(Tfile &) {}
    virtual void nodeRemoving(Tfile &) {} // still attached when called
    virtual void nodeChanged(Tfile &) {}  // renamed or re-sorted
    virtual void treeReset() {}
};

class Tvfs {
public:
    Tvfs();
    ~Tvfs();
    Tvfs(const Tvfs &) = delete;
    Tvfs &operator=(const Tvfs &) = delete;

    // The program's tree.
    // The program's tree (owned by the application).
    static Tvfs &instance();

    Tfile *root() const { return root_.data(); }

    // ---- options ----
    const TvfsSettings &settings() const { return settings_; }
    // Re-sorts every folder when "folders before" changes.
    void setSettings(const TvfsSettings &s);
    // Accounts used by permission decisions (the program's list by default).
    const Taccounts &accounts() const;
    void setAccounts(const Taccounts *accounts);
    const TdynamicCommentFn &dynamicComment() const { return dynamicComment_; }
    void setDynamicComment(TdynamicCommentFn fn) { dynamicComment_ = std::move(fn); }
    const TsystemIconFn &systemIcon() const { return systemIcon_; }
    void setSystemIcon(TsystemIconFn fn) { systemIcon_ = std::move(fn); }
    void setObserver(TvfsObserver *o) { observer_ = o; }
    // Where notes for the operator go (the program's log).
    void setLogger(std::function<void(const QString &)> fn) { logger_ = std::move(fn); }

    // ---- editing ----
    // Adds `f` below `parent` (the root when null; the nearest folder above a
    // file or link). With checkName, a name already present among the
    // siblings (ASCII case folded) refuses the add. Returns the added node or
    // null. A temporary or attached node is refused.
    Tfile *add(const TfilePtr &f, Tfile *parent = nullptr, bool checkName = true);
    // Detaches `f` with its subtree (never the root). Holders keep what they
    // hold alive; the rest is freed.
    bool remove(Tfile *f);
    void removeChildren(Tfile *f);
    // Moves `f` with its subtree below the folder `folder` (kept in tree
    // order); what the tree tracks about the subtree stays. Never the root,
    // never into `f` itself or below it.
    bool moveTo(Tfile *f, Tfile *folder);
    // Restores the tree order of `f` among its siblings (after a rename).
    void resort(Tfile *f);
    // Compares two siblings in tree order: negative when a comes first.
    int compareSiblings(const Tfile &a, const Tfile &b) const;
    // Puts detached nodes in the order they would take as siblings (stable),
    // so that adding them one by one only appends.
    void sortAsSiblings(QList<TfilePtr> &nodes) const;

    TaddingState &adding() { return adding_; }
    const TaddingState &adding() const { return adding_; }

    // ---- root binding and the "new" flag ----
    // Binds the root to a disk folder (it becomes a real folder named "/"),
    // or makes it virtual again.
    void bindRoot(const QString &folder);
    void unbindRoot();
    // Marks nodes as just added, or (with everything below them) as older
    // than the "new" period.
    void flagAsNew(const QList<Tfile *> &nodes);
    void resetNewFlag(const QList<Tfile *> &nodes);

    // ---- whole tree ----
    void resetVFS();
    void resetHits();
    bool isModified() const { return modified_; }
    void setModified(bool m = true) { modified_ = m; }
    // Downloads changed counters: they must be saved, but the tree itself
    // is not modified by them.
    bool countersChanged() const { return countersChanged_; }
    void setCountersChanged(bool c = true) { countersChanged_ = c; }
    QString lastFileName;     // the tree file last loaded or saved
    QStringList uploadFolders; // resources of folders with upload rights (free-space check)
    TusersInVFS usersInVFS;

    // ---- counters of files reached through real folders (key: disk path) ----
    int tempDownloadCount(const QString &path) const { return tempDownloadCounts_.value(path, 0); }
    void setTempDownloadCount(const QString &path, int count);
    void countTempDownload(const QString &path);
    const QHash<QString, int> &tempDownloadCounts() const { return tempDownloadCounts_; }
    void clearTempDownloadCounts() { tempDownloadCounts_.clear(); }

    // ---- resolution (resolve.cpp) ----
    // The node for a decoded URL path, relative to `parent` (the root when
    // null). Items below real folders come as temporary nodes when allowTemp.
    TfilePtr findFilebyURL(const QString &url, const Tfile *parent = nullptr,
                           bool allowTemp = true) const;
    // A temporary node for `relPath` (delimited by "/") inside the real
    // folder `folder`; null when it does not resolve to an allowed regular
    // file or folder.
    TfilePtr resolveOnDisk(const Tfile *folder, const QString &relPath) const;

    // Removes from every permission list the names of accounts that no longer
    // exist and carries renames; returns whether anything changed.
    bool purgeVFSaccounts();

private:
    void insertSorted(Tfile *parent, const TfilePtr &f);
    void sortChildren(Tfile *folder, bool recursive);
    void detach(Tfile *f);

    TfilePtr root_;
    TvfsSettings settings_;
    const Taccounts *accounts_ = nullptr;
    TdynamicCommentFn dynamicComment_;
    TsystemIconFn systemIcon_;
    TvfsObserver *observer_ = nullptr;
    std::function<void(const QString &)> logger_;
    QCollator collator_;
    QHash<QString, int> tempDownloadCounts_;
    bool modified_ = false;
    bool countersChanged_ = false;
    TaddingState adding_;
};
