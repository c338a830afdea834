// File macros that change the disk: rename, move, copy, delete, mkdir. They
// resolve their tree URLs and template paths to disk paths; the walks
// through folders are those of util/fileTree.h.

#include "macros/macrosFiles.h"
#include "macros/macrosRegistration.h"

#include "macros/sourcePath.h"
#include "script/macroEngine.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "util/asciiCase.h"
#include "util/bytePath.h"
#include "util/fileTree.h"
#include "util/trash.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace {

// ---- the "on macro rename" event ----

struct TrenameEvent
{
    bool running = false;
    bool nestingAllowed = false;
    int depth = 0;
};

TrenameEvent &renameEvent()
{
    static TrenameEvent e; // process-wide: scripts started by the event share it
    return e;
}

void runRenameEvent(TmacroCall &c, const QString &oldName, const QString &newName)
{
    TrenameEvent &e = renameEvent();
    if ((e.running && !e.nestingAllowed) || e.depth >= maxRenameEventDepth)
        return;
    struct Restore
    {
        TrenameEvent saved;
        ~Restore() { renameEvent() = saved; }
    } restore{e};
    e.running = true;
    e.nestingAllowed = macroIsTrue(c.named(QStringLiteral("recursive")));
    ++e.depth;
    runEventSection(QStringLiteral("on macro rename"),
                    {QStringLiteral("%old-name%"), oldName, QStringLiteral("%new-name%"), newName}, c.md.cd);
}

// ---- the macros ----

void renameMacro(TmacroCall &c)
{
    c.result.clear();
    const QString p = c.par(0), newName = c.par(1);
    if (endsWithText(newName, u".lnk"))
        return;
    const QString src = resolveSourcePath(p, nullptr, false);
    const QString srcPath = diskPath(src);
    QString target = resolveTargetPath(newName, c.md.folder);
    if (srcPath.isEmpty() || target.isEmpty())
        return;
    if (endsWithText(src, u".lnk") && !endsWithText(p, u".lnk"))
        target += QStringLiteral(".lnk");
    QString dstPath;
    if (!target.contains(u'\\') && !target.contains(u'/')) {
        if (target == QLatin1String(".") || target == QLatin1String(".."))
            return;
        dstPath = srcPath.left(srcPath.lastIndexOf(u'/') + 1) + target;
    } else {
        dstPath = diskPath(target);
    }
    if (dstPath.isEmpty() || srcPath == QLatin1String("/") || dstPath == srcPath)
        return;
    if (!renameNoReplace(bytePath(srcPath), bytePath(dstPath)))
        return;
    c.result = macroDone;
    runRenameEvent(c, p, newName);
}

void transferMacro(TmacroCall &c, bool move)
{
    c.result.clear();
    const QString dest = resolveTargetPath(c.par(1), c.md.folder);
    if (dest.trimmed().isEmpty())
        return;
    const QString src = diskPath(resolveSourcePath(c.par(0), nullptr, !move));
    if (transfer(src, diskPath(dest), move))
        c.result = macroDone;
}

// Deleted for good: " " only for a single file.
QString deleteForGood(const QList<QByteArray> &items, bool isMask)
{
    bool singleFile = false;
    for (const QByteArray &item : items) {
        struct stat st;
        if (!lstatPath(item, st))
            continue;
        const bool folder = S_ISDIR(st.st_mode);
        const bool ok = deleteTree(item);
        singleFile = ok && !folder && !isMask;
    }
    return singleFile ? macroDone : QString();
}

void deleteMacro(TmacroCall &c)
{
    c.result.clear();
    const QString path = diskPath(resolveSourcePath(c.par(0), nullptr, false));
    if (path.isEmpty() || path == QLatin1String("/"))
        return;
    bool isMask;
    const QList<QByteArray> items = expandSource(bytePath(path), &isMask);
    const bool toBin = macroIsTrue(c.named(QStringLiteral("bin"), QStringLiteral("1")));
    if (!toBin) {
        c.result = deleteForGood(items, isMask);
        return;
    }
    bool sent = false, failed = items.isEmpty();
    for (const QByteArray &item : items) {
        if (moveToTrash(QFile::decodeName(item)))
            sent = true;
        else
            failed = true;
    }
    if ((!sent || failed) && macroIsTrue(c.named(QStringLiteral("forced")))) {
        QList<QByteArray> left;
        for (const QByteArray &item : items)
            if (entryExists(item))
                left.append(item);
        c.result = deleteForGood(left, isMask);
        return;
    }
    c.result = sent ? macroDone : QString();
}

void mkdirMacro(TmacroCall &c)
{
    const QString path = diskPath(resolveTargetPath(c.par(0), c.md.folder).trimmed());
    c.result.clear();
    if (path.isEmpty() || entryExists(bytePath(path)))
        return;
    if (QDir().mkpath(path))
        c.result = macroDone;
}

} // namespace

void registerFileOpMacros(TmacroRegistry &r)
{
    r.add(QStringLiteral("rename"), 2, renameMacro);
    r.add(QStringLiteral("move"), 2, [](TmacroCall &c) { transferMacro(c, true); });
    r.add(QStringLiteral("copy"), 2, [](TmacroCall &c) { transferMacro(c, false); });
    r.add(QStringLiteral("delete"), 1, deleteMacro);
    r.add(QStringLiteral("mkdir"), 1, mkdirMacro);
}
