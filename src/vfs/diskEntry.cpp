#include "vfs/diskEntry.h"

#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/masks.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>

#include <dirent.h>
#include <sys/stat.h>
#include <ctime>

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

constexpr qint64 msPerDay = 86400000;
constexpr qint64 unixEpochDay = 25569; // 1970-01-01 as a day count

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool statPath(const QString &path, struct stat &st)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return false;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

DiskEntryInfo infoOf(const struct stat &st)
{
    DiskEntryInfo info;
    info.kind = kindOf(st);
    if (info.kind == DiskEntry::File)
        info.size = qint64(st.st_size);
    info.mtimeMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    info.mtime = localDayCount(info.mtimeMs);
    info.device = quint64(st.st_dev);
    info.inode = quint64(st.st_ino);
    info.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    info.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return info;
}

} // namespace

bool hasSettled(const DiskEntryInfo &info, qint64 wallNs)
{
    return wallNs - qMax(info.mtimeNs, info.ctimeNs) >= settleNs;
}

qint64 wallClockNs()
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

DiskEntry diskEntryKind(const QString &path)
{
    struct stat st;
    return statPath(path, st) ? kindOf(st) : DiskEntry::None;
}

DiskEntryInfo diskEntryInfo(const QString &path)
{
    struct stat st;
    return statPath(path, st) ? infoOf(st) : DiskEntryInfo();
}

DiskEntryInfo diskEntryInfoOf(const struct stat &st)
{
    return infoOf(st);
}

DiskEntryInfo diskEntryInfoAt(int folderFd, const QString &name)
{
    struct stat st;
    if (folderFd < 0 || name.isEmpty() || name.contains(QChar(0)) || name.contains(u'/'))
        return {};
    if (::fstatat(folderFd, QFile::encodeName(name).constData(), &st, 0) != 0)
        return {};
    return infoOf(st);
}

double utcDayCount(qint64 msSinceEpoch)
{
    const qint64 dayIndex = floorDiv(msSinceEpoch, msPerDay);
    const qint64 day = dayIndex + unixEpochDay;
    const qint64 msOfDay = msSinceEpoch - dayIndex * msPerDay;
    // Before the epoch of day counts the time of day stays positive.
    const double frac = double(msOfDay) / double(msPerDay);
    return day >= 0 ? double(day) + frac : double(day) - frac;
}

double localDayCount(qint64 msSinceEpoch)
{
    // The zone rules are read again once a second, which follows a change
    // of the zone without checking its file on every call.
    static QElapsedTimer sinceZoneRead;
    if (!sinceZoneRead.isValid() || sinceZoneRead.elapsed() >= 1000) {
        tzset();
        sinceZoneRead.start();
    }
    if (msSinceEpoch >= 0) {
        const time_t secs = time_t(msSinceEpoch / 1000);
        struct tm local;
        if (localtime_r(&secs, &local)) {
            const qint64 localMs = msSinceEpoch + qint64(local.tm_gmtoff) * 1000;
            if (localMs >= 0)
                return utcDayCount(localMs);
        }
    }
    return toDateTime(QDateTime::fromMSecsSinceEpoch(msSinceEpoch));
}

bool diskNameOf(const char *raw, QString &name)
{
    if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0)))
        return false;
    const qsizetype len = qsizetype(qstrlen(raw));
    name = QString::fromUtf8(raw, len);
    const bool ascii = std::all_of(raw, raw + len, [](char c) { return uchar(c) < 0x80; });
    return ascii || name.toUtf8() == QByteArrayView(raw, len);
}

void forEachDiskName(const QString &folder, const std::function<void(const QString &name, int folderFd)> &visit)
{
    if (folder.isEmpty() || folder.contains(QChar(0)))
        return;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return;
    const int fd = ::dirfd(dir);
    QString name;
    while (const dirent *e = ::readdir(dir))
        if (diskNameOf(e->d_name, name))
            visit(name, fd);
    ::closedir(dir);
}

QStringList listDiskFolder(const QString &folder, DiskEntryFilter filter)
{
    QStringList names;
    forEachDiskName(folder, [&](const QString &name, int folderFd) {
        if (filter != DiskEntryFilter::AnyName) {
            struct stat st;
            if (::fstatat(folderFd, QFile::encodeName(name).constData(), &st, 0) != 0)
                return;
            const DiskEntry kind = kindOf(st);
            const bool wanted = (kind == DiskEntry::File && filter != DiskEntryFilter::Folders)
                || (kind == DiskEntry::Folder && filter != DiskEntryFilter::Files);
            if (!wanted)
                return;
        }
        names.append(name);
    });
    std::sort(names.begin(), names.end());
    return names;
}
