#include "vfs/vfsStore.h"

#include "util/files.h"
#include "util/service.h"
#include "util/prompt.h"
#include "vfs/vfs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

const QString MSG_VFS_ADDING = QStringLiteral("Cannot load or save while adding files");
const QString MSG_VFS_ERROR_SAVING = QStringLiteral("Error saving");
const QString MSG_VFS_NO_VALID_DATA = QStringLiteral("This file does not contain valid data.");
const QString MSG_VFS_TRUST = QStringLiteral(
    "!!!!!!!!! DANGER !!!!!!!!!\rThis file contains macros.\rDon't accept macros from people you don't "
    "trust.\r\rTrust this file?");
const QString MSG_VFS_ANON_ONLY = QStringLiteral(
    "This VFS file uses the \"Visible only to anonymous users\" feature.\rThis feature is not available "
    "anymore.\rYou can achieve similar results by restricting access to @anonymous,\rthen enabling \"List "
    "protected items only for allowed users\".");
const QString MSG_VFS_OLD = QStringLiteral(
    "This file is old and uses different settings.\rThe \"let browse\" folder option will be "
    "reset.\rRe-saving the file will update its format.");
const QString MSG_VFS_UNKNOWN_DATA = QStringLiteral(
    "This file has been created with a newer version.\rSome data was discarded because unknown.\rIf you "
    "save the file now, the discarded data will NOT be saved.");
const QString MSG_VFS_DAMAGED = QStringLiteral(
    "This file is damaged.\rThe parts that could not be read were skipped.");
const QString MSG_VFS_AUTOSAVE_DISABLED = QStringLiteral(
    "Because of the problems encountered in loading,\rautomatic saving has been disabled\runtil you save "
    "manually or load another one.");
const QString MSG_VFS_NOT_SAVED = QStringLiteral("Your current file system is not saved.\rSave it?");
const QString MSG_VFS_CLEAR = QStringLiteral("All changes will be lost\rContinue?");
const QString MSG_VFS_RESTORE_TEMP = QStringLiteral(
    "A file system backup has been created for a system shutdown.\rDo you want to restore this backup?");
const QString MSG_VFS_GONE = QStringLiteral("The file does not exist anymore");
const QString MSG_VFS_LOADED = QStringLiteral("Loaded in %.1f seconds (%s)");

namespace {

const QString dialogFilter = QStringLiteral("VirtualFileSystem|*.vfs");
const QString dialogExt = QStringLiteral("vfs");

bool isRegularFile(const QString &path)
{
    const QFileInfo fi(path);
    return fi.isFile();
}

bool exists(const QString &path)
{
    return QFileInfo::exists(path);
}

// POSIX rename: replaces the target.
bool renameOver(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// A copy of the file `from` names (the target of a symbolic link) as `to`:
// a hard link sharing its data, else a plain copy. Replacing `from`
// afterwards leaves the copy with the old content.
bool duplicate(const QString &from, const QString &to)
{
    const QFileInfo fi(from);
    const QString data = fi.isSymLink() ? fi.canonicalFilePath() : from;
    if (data.isEmpty())
        return false;
    if (::link(QFile::encodeName(data).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    return QFile::copy(data, to);
}

bool treeHasPasswords(Tfile *root)
{
    bool found = false;
    root->recursiveApply([&](Tfile &f, bool) -> TfileCallbackReturn {
        if (!f.user.isEmpty())
            found = true;
        return found ? FCB_NO_DEEPER : 0;
    });
    return found;
}

qint64 mtimeMs(const QString &path)
{
    const QFileInfo fi(path);
    return path.isEmpty() || !fi.exists() ? 0 : fi.lastModified().toMSecsSinceEpoch();
}

} // namespace

TvfsStore::TvfsStore(Tvfs &vfs) : vfs_(vfs)
{
    clock_.start();
    eventsTimer_.start();
}

TvfsStore &TvfsStore::instance()
{
    return Tservice<TvfsStore>::get();
}

QString TvfsStore::tempVfsPath() const
{
    return settings.tempVfsPath.isEmpty() ? QDir::current().absoluteFilePath(QStringLiteral("~temp.vfs"))
                                          : settings.tempVfsPath;
}

QString TvfsStore::canonicalName(const QString &fn)
{
    const QFileInfo fi(fn);
    const QString c = fi.canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(fi.absoluteFilePath()) : c;
}

bool TvfsStore::isTrusted(const QString &fn) const
{
    // Entries written by hand or by older versions may name the file another way.
    const QString c = canonicalName(fn);
    return std::any_of(settings.trustedFiles.cbegin(), settings.trustedFiles.cend(),
                       [&](const QString &t) { return t == c || canonicalName(t) == c; });
}

void TvfsStore::addTrusted(const QString &fn)
{
    const QString c = canonicalName(fn);
    if (settings.trustedFiles.contains(c))
        return;
    settings.trustedFiles.append(c);
    changedLists();
}

void TvfsStore::addRecent(const QString &fn)
{
    const QString a = QDir::cleanPath(QFileInfo(fn).absoluteFilePath());
    settings.recentFiles.removeAll(a);
    settings.recentFiles.prepend(a);
    while (settings.recentFiles.size() > maxRecentFiles)
        settings.recentFiles.removeLast();
    changedLists();
}

void TvfsStore::changedLists()
{
    if (listsChanged)
        listsChanged();
}

bool TvfsStore::refuseWhileAdding()
{
    if (vfs_.adding().running() || (isAdding && isAdding())) {
        prompt().message(MSG_VFS_ADDING, PK_WARNING);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- saving

bool TvfsStore::writeWithBackup(const QString &fn, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return false; // the tree could not be encoded: keep the file as it is
    const QString bak = fn + QStringLiteral(".bak");
    // The previous version becomes the ".bak" before the new one replaces it;
    // the replacement itself is atomic, so fn is never missing or half written.
    if (settings.backupSaving && isRegularFile(fn)) {
        removeFile(bak);
        duplicate(fn, bak);
    }
    const TfileMode mode = treeHasPasswords(vfs_.root()) ? FM_PRIVATE : FM_NORMAL;
    if (!saveFile(fn, bytes, false, mode))
        return false;
    if (!settings.backupSaving)
        removeFile(bak);
    return true;
}

bool TvfsStore::saveVFS(QString fn)
{
    if (refuseWhileAdding())
        return false;
    // A tree being loaded is incomplete: saving it would lose the rest.
    if (busy_)
        return false;
    if (fn.isEmpty()) {
        if (askFileName)
            fn = askFileName(QStringLiteral("Save VFS"), dialogFilter, dialogExt, vfs_.lastFileName, true);
        if (fn.isEmpty())
            return false;
        if (QFileInfo(fn).suffix().isEmpty())
            fn += u'.' + dialogExt;
    }
    busy_ = true;
    const bool ok = writeWithBackup(fn, vfsToBytes(vfs_, settings.version, settings.build));
    busy_ = false;
    if (!ok) {
        prompt().message(MSG_VFS_ERROR_SAVING, PK_ERROR);
        return false;
    }
    vfs_.lastFileName = fn;
    vfs_.setModified(false);
    vfs_.setCountersChanged(false);
    autoSaveDisabled_ = false;
    addTrusted(fn); // also tells the configuration about the last file name
    changedLists();
    return true;
}

bool TvfsStore::saveTemp()
{
    const QByteArray bytes = vfsToBytes(vfs_, settings.version, settings.build);
    if (!bytes.isEmpty() && saveFile(tempVfsPath(), bytes, false, FM_PRIVATE))
        return true;
    prompt().message(MSG_VFS_ERROR_SAVING, PK_ERROR);
    return false;
}

// ---------------------------------------------------------------- loading

bool TvfsStore::takeBackup(const QString &fn)
{
    const QString bak = fn + QStringLiteral(".bak");
    if (!isRegularFile(bak))
        return false;
    if (exists(fn) && !renameOver(fn, fn + QStringLiteral(".corrupted")))
        return false;
    return renameOver(bak, fn);
}

void TvfsStore::readInto(const QByteArray &bytes, bool backupExists)
{
    TvfsReadHooks hooks;
    hooks.backupExists = backupExists;
    hooks.askYesNo = [](const QString &text, bool safeAnswer) {
        return prompt().question(text, PB_YES | PB_NO, safeAnswer ? PB_YES : PB_NO) == PB_YES;
    };
    hooks.message = [](const QString &text) { prompt().message(text, PK_WARNING); };
    hooks.progress = [this](double share) {
        if (progress)
            return progress(share);
        // Keep serving while a large tree loads, without paying for the
        // event loop at every node.
        if (eventsTimer_.elapsed() >= 50) {
            QCoreApplication::processEvents();
            eventsTimer_.restart();
        }
        return true;
    };
    loadFlags_ = TvfsLoadFlags();
    vfs_.resetVFS();
    bytesToVfs(bytes, vfs_, loadFlags_, hooks);
}

bool TvfsStore::loadVFS(const QString &fn)
{
    if (fn.isEmpty() || refuseWhileAdding() || busy_)
        return false;
    busy_ = true;
    QElapsedTimer took;
    took.start();
    loadFlags_ = TvfsLoadFlags();

    bool readOk = false;
    QByteArray bytes = loadFile(fn, -1, 0, &readOk);
    backupAvailable_ = isRegularFile(fn + QStringLiteral(".bak"));
    if (!hasVfsMagic(bytes)) {
        // Not a tree file: fall back on its backup when there is one.
        if (!takeBackup(fn) || !hasVfsMagic(bytes = loadFile(fn, -1, 0, &readOk))) {
            busy_ = false;
            prompt().message(MSG_VFS_NO_VALID_DATA, PK_WARNING);
            return false;
        }
        backupAvailable_ = false;
    }

    readInto(bytes, backupAvailable_);
    if (loadFlags_.backupRequested && !loadFlags_.cancelled) {
        if (takeBackup(fn) && hasVfsMagic(bytes = loadFile(fn, -1, 0, &readOk))) {
            backupAvailable_ = false;
            readInto(bytes, false);
        }
    }

    const bool cancelled = loadFlags_.cancelled;
    if (cancelled)
        vfs_.resetVFS();
    else
        vfs_.lastFileName = fn;
    vfs_.setModified(false);
    vfs_.setCountersChanged(false);
    vfs_.purgeVFSaccounts(); // marks the tree modified when it drops names
    busy_ = false;
    if (cancelled) {
        changedLists();
        return false;
    }

    if (loadFlags_.containsMacros && !isTrusted(fn)) {
        if (prompt().question(MSG_VFS_TRUST, PB_YES | PB_NO, PB_NO) != PB_YES) {
            vfs_.resetVFS();
            changedLists();
            return false;
        }
        addTrusted(fn);
    }
    if (loadFlags_.anonymousOnly)
        prompt().message(MSG_VFS_ANON_ONLY, PK_WARNING);
    if (loadFlags_.oldFormat)
        prompt().message(MSG_VFS_OLD, PK_WARNING);
    if (loadFlags_.unknownData)
        prompt().message(MSG_VFS_UNKNOWN_DATA, PK_WARNING);
    if (loadFlags_.corrupted && !loadFlags_.stopped)
        prompt().message(MSG_VFS_DAMAGED, PK_WARNING);
    // Content that could not be read whole must not be saved over the file
    // behind the user's back.
    autoSaveDisabled_ = loadFlags_.problematic();
    if (autoSaveDisabled_ && (settings.autoSaveVfs || settings.autoSaveVfsEvery > 0))
        prompt().message(MSG_VFS_AUTOSAVE_DISABLED, PK_WARNING);
    if (status)
        status(QString::asprintf(MSG_VFS_LOADED.toUtf8().constData(), double(took.elapsed()) / 1000.0,
                                 fn.toUtf8().constData()));
    addRecent(fn);
    lastAutoSaveMs_ = nowMs();
    return true;
}

// ---------------------------------------------------------------- the rest

void TvfsStore::countersChanged()
{
    vfs_.setCountersChanged();
}

bool TvfsStore::hasChangedCounters() const
{
    return vfs_.countersChanged();
}

bool TvfsStore::autoSaveTick()
{
    if (settings.autoSaveVfsEvery <= 0 || vfs_.lastFileName.isEmpty() || autoSaveDisabled_ || busy_)
        return false;
    const qint64 now = nowMs();
    if (now - lastAutoSaveMs_ < settings.autoSaveVfsEvery * 1000)
        return false;
    lastAutoSaveMs_ = now;
    return saveVFS(vfs_.lastFileName);
}

bool TvfsStore::leaveVFS(bool canCancel, bool sessionEnding)
{
    if (autoSaveDisabled_)
        return true;
    // Counters are saved even when nothing else changed, to the file they
    // belong to: a tree never saved does not ask for a name for them.
    if (!vfs_.isModified() && vfs_.countersChanged() && !vfs_.lastFileName.isEmpty())
        saveVFS(vfs_.lastFileName);
    if (!vfs_.isModified())
        return true;
    if (settings.quitDontAsk)
        return true;
    if (settings.autoSaveVfs && !vfs_.lastFileName.isEmpty() && saveVFS(vfs_.lastFileName))
        return true;
    if (sessionEnding)
        return saveTemp() || !canCancel;
    TpromptButtons buttons = PB_YES | PB_NO;
    if (canCancel)
        buttons |= PB_CANCEL;
    switch (prompt().question(MSG_VFS_NOT_SAVED, buttons, PB_YES)) {
    case PB_NO:
        return true;
    case PB_YES:
        if (saveVFS(vfs_.lastFileName))
            return true;
        if (canCancel)
            return false;
        // Leaving cannot wait: keep the changes where the next start finds them.
        saveTemp();
        return true;
    default:
        return !canCancel;
    }
}

bool TvfsStore::clearVFS()
{
    if (!vfs_.isModified() && vfs_.countersChanged() && !vfs_.lastFileName.isEmpty())
        saveVFS(vfs_.lastFileName);
    if (vfs_.isModified() && prompt().question(MSG_VFS_CLEAR, PB_YES | PB_NO, PB_NO) != PB_YES)
        return false;
    vfs_.resetVFS();
    autoSaveDisabled_ = false;
    changedLists();
    return true;
}

bool TvfsStore::openWithDialog()
{
    if (refuseWhileAdding() || !leaveVFS(true))
        return false;
    if (!askFileName)
        return false;
    const QString fn = askFileName(QStringLiteral("Open VFS file"), dialogFilter, dialogExt, vfs_.lastFileName, false);
    return !fn.isEmpty() && loadVFS(fn);
}

bool TvfsStore::loadRecent(const QString &fn)
{
    if (!exists(fn)) {
        prompt().message(MSG_VFS_GONE, PK_WARNING);
        settings.recentFiles.removeAll(fn);
        changedLists();
        return false;
    }
    return leaveVFS(true) && loadVFS(fn);
}

void TvfsStore::startupReload()
{
    QString last = vfs_.lastFileName;
    if (settings.reloadOnStartup && !last.isEmpty() && !exists(last) && !exists(last + QStringLiteral(".bak"))) {
        last.clear();
        vfs_.lastFileName.clear();
        changedLists();
    }
    const QString temp = tempVfsPath();
    bool restored = false;
    if (isRegularFile(temp) && mtimeMs(temp) > mtimeMs(last)
        && prompt().question(MSG_VFS_RESTORE_TEMP, PB_YES | PB_NO, PB_YES) == PB_YES) {
        restored = true;
        if (last.isEmpty()) {
            last = temp;
        } else {
            const QString bak = last + QStringLiteral(".bak");
            // The current last file becomes the backup; when it cannot move,
            // the emergency copy is loaded from where it is.
            if (exists(last)) {
                removeFile(bak);
                if (!renameOver(last, bak))
                    last = temp;
            }
            if (last != temp && !renameOver(temp, last))
                last = temp;
        }
    }
    // Without reload-on-startup only a restored emergency copy is loaded.
    if (!last.isEmpty() && (settings.reloadOnStartup || restored))
        loadVFS(last);
}
