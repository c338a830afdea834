#pragma once

// Saving and loading the tree file: the ".bak" copy, recovery from it, the
// trust question for files that carry macros, the messages about old, newer
// or damaged content, automatic saving, what happens to unsaved changes when
// the tree is left, the emergency copy "~temp.vfs" and the reload of the last
// file at start-up.
//
// Questions and messages go through the prompt of src/util (headless: the
// answer that loses no data and trusts nothing new). Dialogs, the progress
// window and the status bar are hooks the window fills in.

#include "vfs/vfsFormat.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>

class Tvfs;

// Option values the store reads. The configuration fills them in and reads
// back the lists the store changes (recentFiles, trustedFiles); the last file
// name lives in Tvfs::lastFileName (key last-file-open).
struct TvfsStoreSettings {
    bool backupSaving = true;    // backup-saving
    bool autoSaveVfs = false;    // auto-save-vfs (save on exit without asking)
    qint64 autoSaveVfsEvery = 0; // auto-save-vfs-every, seconds; 0 = off
    bool quitDontAsk = false;    // quit-dont-ask
    bool reloadOnStartup = true; // reload-on-startup
    QStringList recentFiles;     // recent-files, most recent first, at most 5
    QStringList trustedFiles;    // trusted-files, canonical paths
    // Written into saved files.
    QString version;
    QString build;
    // The emergency copy written when the desktop session ends; empty means
    // "~temp.vfs" in the current folder.
    QString tempVfsPath;
};

// Texts shown by the store.
extern const QString MSG_VFS_ADDING;
extern const QString MSG_VFS_ERROR_SAVING;
extern const QString MSG_VFS_NO_VALID_DATA;
extern const QString MSG_VFS_TRUST;
extern const QString MSG_VFS_ANON_ONLY;
extern const QString MSG_VFS_OLD;
extern const QString MSG_VFS_UNKNOWN_DATA;
extern const QString MSG_VFS_DAMAGED;
extern const QString MSG_VFS_AUTOSAVE_DISABLED;
extern const QString MSG_VFS_NOT_SAVED;
extern const QString MSG_VFS_CLEAR;
extern const QString MSG_VFS_RESTORE_TEMP;
extern const QString MSG_VFS_GONE;
extern const QString MSG_VFS_LOADED; // "Loaded in %.1f seconds (%s)"

class TvfsStore {
public:
    static constexpr int maxRecentFiles = 5;

    explicit TvfsStore(Tvfs &vfs);
    // The program's store, over Tvfs::instance() (owned by the application).
    static TvfsStore &instance();

    TvfsStoreSettings settings;

    // ---- hooks (all optional) ----
    // Whether other work is adding items to the tree (saving and loading
    // wait for it, as for the tree's own adding counter).
    std::function<bool()> isAdding;
    // A file dialog: returns the chosen path, empty when cancelled.
    // Headless there is none, which counts as cancelled.
    std::function<QString(const QString &title, const QString &filter, const QString &defaultExt,
                          const QString &start, bool forSaving)>
        askFileName;
    // The progress window while loading (share 0..1); returns false when the
    // user cancelled. It should let the event loop run. Without it the
    // event loop runs now and then and nothing can cancel.
    std::function<bool(double share)> progress;
    // The status bar.
    std::function<void(const QString &text)> status;
    // Told when recentFiles, trustedFiles or the last file name changed, so
    // that the configuration can store them.
    std::function<void()> listsChanged;
    // Monotonic milliseconds for automatic saving (tests replace it).
    std::function<qint64()> clockMs;

    // ---- saving and loading ----
    // Saves the tree to `fn` (asks for a name when empty). True when saved.
    bool saveVFS(QString fn = QString());
    // Replaces the tree with the content of `fn`. True when a tree was loaded
    // and kept.
    bool loadVFS(const QString &fn);
    bool isBusy() const { return busy_; }

    // Flags of the last load, and whether it disabled automatic saving.
    const TvfsLoadFlags &loadFlags() const { return loadFlags_; }
    bool backupWasAvailable() const { return backupAvailable_; }
    bool autoSaveDisabled() const { return autoSaveDisabled_; }

    // ---- the rest of the program ----
    // Downloads changed a counter (this does not mark the tree modified).
    void countersChanged();
    bool hasChangedCounters() const;

    // Called by the heartbeat (any rate): saves to the last file every
    // auto-save-vfs-every seconds. Returns whether it saved.
    bool autoSaveTick();

    // Before the current tree is left (exit, loading another file, update).
    // `canCancel` is false when leaving cannot be stopped; `sessionEnding`
    // when the desktop session ends. Returns false when the user chose to stay.
    bool leaveVFS(bool canCancel, bool sessionEnding = false);
    // "Clear" in the window: asks when there are unsaved changes. Returns
    // whether the tree was reset.
    bool clearVFS();
    // The open command: leave, ask for a file, load it.
    bool openWithDialog();
    // A name from the recent files list.
    bool loadRecent(const QString &fn);
    // Start-up: forget a vanished last file, offer "~temp.vfs", reload.
    // Not called on a clean start.
    void startupReload();

    // ---- lists ----
    bool isTrusted(const QString &fn) const;
    void addTrusted(const QString &fn);
    void addRecent(const QString &fn);
    QString tempVfsPath() const;
    // The name trusted files are compared by: the canonical path, or the
    // cleaned absolute path for a file that does not exist.
    static QString canonicalName(const QString &fn);

private:
    bool refuseWhileAdding();
    // Writes `bytes` to `fn` keeping a ".bak" copy (of the file a symbolic
    // link points to) when asked; false on failure, and for empty bytes (a
    // tree that could not be encoded), with `fn` untouched.
    bool writeWithBackup(const QString &fn, const QByteArray &bytes);
    // Moves a damaged `fn` aside as ".corrupted" and puts its ".bak" in its place.
    bool takeBackup(const QString &fn);
    // Saves to "~temp.vfs" without changing the last file name.
    bool saveTemp();
    void readInto(const QByteArray &bytes, bool backupExists);
    void changedLists();
    qint64 nowMs() const { return clockMs ? clockMs() : clock_.elapsed(); }

    Tvfs &vfs_;
    TvfsLoadFlags loadFlags_;
    bool backupAvailable_ = false;
    bool autoSaveDisabled_ = false;
    bool busy_ = false;
    QElapsedTimer clock_;
    qint64 lastAutoSaveMs_ = 0;
    QElapsedTimer eventsTimer_;
};
