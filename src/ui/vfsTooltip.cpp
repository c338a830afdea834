#include "ui/vfsTooltip.h"

#include "util/format.h"
#include "util/inertText.h"
#include "vfs/comments.h"
#include "vfs/file.h"

#include <QFileInfo>

namespace {

const QString INHERITED = QStringLiteral(" [inherited]");
const QString EXTERNAL = QStringLiteral(" [external]");

QString inheritedMark(bool inherited)
{
    return inherited ? INHERITED : QString();
}

// A field the node may take from a folder above: the nearest non-empty one.
QString nearestField(const Tfile &f, QString Tfile::*field, bool *inherited)
{
    *inherited = false;
    for (const Tfile *up = &f; up; up = up->parent()) {
        if (!(up->*field).isEmpty())
            return up->*field;
        *inherited = true;
    }
    *inherited = false;
    return {};
}

qint64 sizeOf(const Tfile &f)
{
    if (f.size >= 0)
        return f.size;
    const QFileInfo info(f.resource);
    return info.exists() ? info.size() : -1;
}

} // namespace

QString tooltipOneLine(QString text)
{
    text.replace(u'\r', u' ').replace(u'\n', u' ');
    if (text.size() > 30)
        text = text.left(29) + QStringLiteral("...");
    return text;
}

QStringList vfsTooltipLines(const Tfile &f, bool hints)
{
    QStringList out;
    if (hints)
        out << TREE_HINT;
    out << QStringLiteral("URL: %1").arg(f.url());
    if (f.isFile() || f.isRealFolder() || f.isLink())
        out << QStringLiteral("Path: %1").arg(f.resource);
    if (f.isFile()) {
        out << QStringLiteral("Size: %1").arg(smartSize(sizeOf(f)));
        out << QStringLiteral("Downloads: %1").arg(groupDigits(f.downloadCount()));
    }

    bool inh = false;
    if (f.hasRecursive(FA_HIDDENTREE, &inh))
        out << QStringLiteral("Invisible") + inheritedMark(inh);
    else if (f.flags.has(FA_HIDDEN))
        out << QStringLiteral("Invisible");
    if (f.flags.has(FA_DL_FORBIDDEN))
        out << QStringLiteral("Download forbidden");
    if (f.hasRecursive(FA_DONT_LOG, &inh))
        out << QStringLiteral("Don't log") + inheritedMark(inh);
    if (f.isFolder()) {
        if (const Tfile *p = f.parent(); p && p->hasRecursive(FA_HIDE_EMPTY_FOLDERS))
            out << QStringLiteral("Hidden if empty") + INHERITED;
        if (!f.flags.has(FA_BROWSABLE))
            out << QStringLiteral("Not browsable");
        if (f.hasRecursive(FA_HIDE_EMPTY_FOLDERS, &inh))
            out << QStringLiteral("Hide empty folders") + inheritedMark(inh);
        if (f.hasRecursive(FA_HIDE_EXT, &inh))
            out << QStringLiteral("Hide extention") + inheritedMark(inh);
        if (f.hasRecursive(FA_ARCHIVABLE, &inh))
            out << QStringLiteral("Archivable") + inheritedMark(inh);
    }

    if (const QString mask = nearestField(f, &Tfile::defaultFileMask, &inh); !mask.isEmpty())
        out << QStringLiteral("Default file mask: %1").arg(mask) + inheritedMark(inh);

    const auto names = [&out, &f](const QString &caption, TfileAction action) {
        bool inherited = false;
        const QStringList list = f.getAccountsFor(action, true, &inherited);
        if (!list.isEmpty())
            out << caption + QStringLiteral(": ") + list.join(QStringLiteral(", ")) + inheritedMark(inherited);
    };
    names(QStringLiteral("Access for"), FA_ACCESS);
    if (f.isRealFolder())
        names(QStringLiteral("Upload allowed for"), FA_UPLOAD);
    names(QStringLiteral("Delete allowed for"), FA_DELETE);

    // The node's own comment, else the one its comment files give it.
    if (!f.comment.isEmpty()) {
        out << QStringLiteral("Comment: %1").arg(tooltipOneLine(f.comment));
    } else if (const QString fromDisk = plainFromInert(getDynamicComment(f, false)); !fromDisk.isEmpty()) {
        out << QStringLiteral("Comment: %1").arg(tooltipOneLine(fromDisk)) + EXTERNAL;
    }
    if (const QString realm = nearestField(f, &Tfile::realm, &inh); !realm.isEmpty())
        out << QStringLiteral("Realm: %1").arg(tooltipOneLine(realm)) + inheritedMark(inh);
    if (f.isFolder()) {
        bool fromAbove = false, fromDisk = false;
        const QString diff = getRecursiveDiffTplAsStr(f, &fromAbove, &fromDisk);
        if (!diff.trimmed().isEmpty())
            out << QStringLiteral("Diff template: %1").arg(tooltipOneLine(diff.trimmed()))
                    + (fromDisk ? EXTERNAL : inheritedMark(fromAbove && f.diffTpl.isEmpty()));
    }

    QString files, folders;
    f.getFiltersRecursively(files, folders);
    if (!files.isEmpty())
        out << QStringLiteral("Files filter: %1").arg(files) + inheritedMark(f.filesFilter.isEmpty());
    if (!folders.isEmpty())
        out << QStringLiteral("Folders filter: %1").arg(folders) + inheritedMark(f.foldersFilter.isEmpty());
    if (!f.uploadFilterMask.isEmpty())
        out << QStringLiteral("Upload filter: %1").arg(f.uploadFilterMask);
    if (f.flags.has(FA_DONT_COUNT_AS_DL))
        out << QStringLiteral("Don't consider as download");
    if (!f.dontCountAsDownloadMask.isEmpty())
        out << QStringLiteral("Don't consider as download (mask): %1").arg(f.dontCountAsDownloadMask);
    return out;
}
