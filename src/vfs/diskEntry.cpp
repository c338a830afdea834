#include "vfs/diskEntry.h"

#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/masks.h"

#include <QDateTime>
#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace {

DiskEntry kindOf(const struct stat &st)
{
    if (S_ISREG(st.st_mode))
        return DiskEntry::File;
    if (S_ISDIR(st.st_mode))
        return DiskEntry::Folder;
    return DiskEntry::Other;
}

bool statPath(const QString &path, struct stat &st)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return false;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

DiskEntry diskEntryKind(const QString &path)
{
    struct stat st;
    return statPath(path, st) ? kindOf(st) : DiskEntry::None;
}

DiskEntryInfo diskEntryInfo(const QString &path)
{
    DiskEntryInfo info;
    struct stat st;
    if (!statPath(path, st))
        return info;
    info.kind = kindOf(st);
    if (info.kind == DiskEntry::File)
        info.size = qint64(st.st_size);
    const qint64 ms = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    info.mtime = toDateTime(QDateTime::fromMSecsSinceEpoch(ms));
    return info;
}

QStringList listDiskFolder(const QString &folder, DiskEntryFilter filter)
{
    QStringList names;
    if (folder.isEmpty() || folder.contains(QChar(0)))
        return names;
    const QByteArray dirPath = QFile::encodeName(folder);
    DIR *dir = ::opendir(dirPath.constData());
    if (!dir)
        return names;
    const QByteArray base = dirPath.endsWith('/') ? dirPath : dirPath + '/';
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray raw(e->d_name);
        if (raw == "." || raw == "..")
            continue;
        const QString name = QString::fromUtf8(raw);
        if (name.toUtf8() != raw)
            continue; // not valid UTF-8
        struct stat st;
        if (::stat((base + raw).constData(), &st) != 0)
            continue;
        const DiskEntry kind = kindOf(st);
        const bool wanted = (kind == DiskEntry::File && filter != DiskEntryFilter::Folders)
            || (kind == DiskEntry::Folder && filter != DiskEntryFilter::Files);
        if (wanted)
            names.append(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}
