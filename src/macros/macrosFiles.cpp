// File macros that read, write and inspect: load, save, append, chdir, dir,
// filesize, filetime, exists, is file, is file protected, disk free,
// vfs to disk, md5 file, any macro marker.

#include "macros/macrosFiles.h"
#include "macros/macrosRegistration.h"
#include "macros/sourcePath.h"
#include "macros/webLocations.h"

#include "script/macroEngine.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "util/asciiCase.h"
#include "util/encodings.h"
#include "util/files.h"
#include "util/workingFolder.h"
#include "util/masks.h"
#include "vfs/diskEntry.h"
#include "vfs/vfs.h"

#include <QCryptographicHash>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// A relative disk path given to load, save or append: those start from the
// program's folder again.
void resetWhenRelative(const QString &templatePath)
{
    if (!templatePath.isEmpty() && !templatePath.contains(u'/') && !isAbsoluteTemplatePath(templatePath))
        resetWorkingFolder();
}

// The disk path of a location that may also be a tree URL.
QString sourceDiskPath(const QString &p, bool linkTarget = true)
{
    return diskPath(resolveSourcePath(p, nullptr, linkTarget));
}

// `size` bytes (all when -1) of a regular file from offset `from`, as text,
// within what a macro result may hold; empty for anything else or larger.
QString loadCapped(const QString &path, qint64 size = -1, qint64 from = 0)
{
    const DiskEntryInfo info = diskEntryInfo(path);
    if (info.kind != DiskEntry::File || (size >= 0 ? size : info.size - from) > macroSettings().maxResultSize)
        return {};
    return bytesToText(loadFile(path, size, from));
}

qint64 namedInt(TmacroCall &c, const QString &name, qint64 def)
{
    if (!c.hasNamed(name))
        return def;
    const auto v = parseMacroInt(c.named(name));
    if (!v)
        c.fail();
    return *v;
}

void loadMacro(TmacroCall &c)
{
    const QString p = c.par(0);
    qint64 from = std::max<qint64>(namedInt(c, QStringLiteral("from"), 0), 0);
    qint64 size = namedInt(c, QStringLiteral("size"), -1);
    if (!c.hasNamed(QStringLiteral("size")) && c.hasNamed(QStringLiteral("to"))) {
        const qint64 to = namedInt(c, QStringLiteral("to"), -1);
        if (to >= 0)
            size = to < from ? 0 : to - from + 1;
    }
    QString text;
    if (size == 0) {
        // Nothing asked for.
    } else if (isWebAddress(p)) {
        if (const auto load = webLocations().load)
            text = load(p, from, size, macroSettings().maxResultSize).value_or(QString());
    } else {
        const QString src = resolveSourcePath(p, nullptr, true);
        resetWhenRelative(src);
        text = loadCapped(diskPath(src), size, from);
    }
    if (const auto var = c.parOrNamed(1, QStringLiteral("var"))) {
        QString bare;
        TvarList &ns = c.space(*var, bare);
        if (isEncodedTable(text))
            ns.setTableVar(bare, decodeTable(text));
        else
            ns.setVar(bare, text);
        c.result.clear();
        return;
    }
    const bool isPath = p.contains(u'/') || p.contains(u'\\');
    c.result = isPath ? macroQuote(text) : text;
}

void saveMacro(TmacroCall &c, bool append)
{
    c.result.clear();
    QString content;
    if (const auto var = c.namedRaw(QStringLiteral("var"))) {
        QString bare;
        const TvarList &ns = c.space(var->trimmed(), bare);
        if (!ns.contains(bare))
            return;
        const TvarTable t = ns.table(bare);
        content = t && tableNeedsEncoding(*t) ? encodeTable(*t) : ns.value(bare);
    } else {
        content = c.raw(1);
    }
    const QString dest = resolveTargetPath(c.par(0), c.md.folder);
    resetWhenRelative(dest);
    const QString path = diskPath(dest);
    if (!path.isEmpty() && saveFile(path, content.toUtf8(), append))
        c.result = macroDone;
}

void chdirMacro(TmacroCall &c)
{
    c.result = setWorkingFolder(sourceDiskPath(c.par(0))) ? macroDone : QString();
}

void dirMacro(TmacroCall &c)
{
    c.result.clear();
    const QString path = sourceDiskPath(c.par(0));
    if (path.isEmpty())
        return;
    QString folder = path, mask;
    if (diskEntryKind(path) != DiskEntry::Folder) {
        const qsizetype cut = path.lastIndexOf(u'/');
        folder = cut == 0 ? QStringLiteral("/") : path.left(cut);
        mask = path.mid(cut + 1);
    }
    QStringList names = listDiskFolder(folder, DiskEntryFilter::FilesAndFolders);
    if (!mask.isEmpty())
        names.removeIf([&](const QString &n) { return !matchFileMask(mask, n); });
    c.result = names.join(c.namedRaw(QStringLiteral("separator")).value_or(QStringLiteral("|")));
}

void filesizeMacro(TmacroCall &c)
{
    qint64 size = 0;
    const QString p = c.par(0);
    if (isWebAddress(p)) {
        if (const auto measure = webLocations().size)
            size = std::max<qint64>(measure(p), 0);
    } else {
        const DiskEntryInfo info = diskEntryInfo(sourceDiskPath(p));
        if (info.kind == DiskEntry::File)
            size = std::max<qint64>(info.size, 0);
    }
    c.result = QString::number(size);
}

void filetimeMacro(TmacroCall &c)
{
    const DiskEntryInfo info = diskEntryInfo(sourceDiskPath(c.par(0)));
    c.result = formatMacroNumber(info.kind == DiskEntry::None ? 0 : info.mtime);
}

void existsMacro(TmacroCall &c)
{
    const QString p = c.par(0);
    if (p.contains(u'/')) {
        TfilePtr f = Tvfs::instance().findFilebyURL(p, nullptr, true);
        c.result = macroBool(bool(f));
        return;
    }
    const DiskEntry k = diskEntryKind(diskPath(p));
    c.result = macroBool(k == DiskEntry::File || k == DiskEntry::Folder);
}

void isFileMacro(TmacroCall &c)
{
    c.result = macroBool(diskEntryKind(sourceDiskPath(c.par(0))) == DiskEntry::File);
}

void isFileProtectedMacro(TmacroCall &c)
{
    static const QString mask =
        QStringLiteral("zof.*;*.htm*;descript.ion;*.comment;*.md5;*.corrupted;*.lnk");
    const auto var = c.namedRaw(QStringLiteral("var"));
    const QString name = var ? c.getVar(var->trimmed()) : c.raw(0);
    // A path is judged by its last part as well, so "sub\zof.ini" counts.
    const qsizetype cut = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    c.result = macroBool(matchFileMask(mask, name) || matchFileMask(mask, name.mid(cut + 1)));
}

void diskFreeMacro(TmacroCall &c)
{
    QString path = sourceDiskPath(c.par(0));
    qint64 free = -1;
    // The nearest existing folder when the path does not exist yet.
    while (!path.isEmpty() && diskEntryKind(path) == DiskEntry::None) {
        const qsizetype cut = path.lastIndexOf(u'/');
        path = cut < 0 ? QString() : cut == 0 && path.size() > 1 ? QStringLiteral("/") : path.left(cut);
    }
    struct statvfs sv;
    if (!path.isEmpty() && ::statvfs(QFile::encodeName(path).constData(), &sv) == 0)
        free = qint64(sv.f_bavail) * qint64(sv.f_frsize);
    c.result = QString::number(free);
}

// The content of a file (a disk path or a tree URL), or p itself when that
// cannot be read or is empty, tested for a macro marker or "|".
void anyMacroMarkerMacro(TmacroCall &c)
{
    const QString p = c.par(0);
    QString content = loadCapped(sourceDiskPath(p));
    if (content.isEmpty())
        content = p;
    c.result = macroBool(containsMacroMarker(content));
}

void md5FileMacro(TmacroCall &c)
{
    c.result.clear();
    const QString path = sourceDiskPath(c.par(0));
    if (path.isEmpty())
        return;
    // O_NONBLOCK so that a FIFO put there cannot hold the open.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st;
    QCryptographicHash h(QCryptographicHash::Md5);
    bool good = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buf[32768];
    while (good) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            good = n == 0;
            break;
        }
        h.addData(QByteArrayView(buf, n));
    }
    ::close(fd);
    if (good)
        c.result = QString::fromLatin1(h.result().toHex());
}

} // namespace

void registerFileMacros(TmacroRegistry &r)
{
    r.add(QStringLiteral("load"), 1, loadMacro);
    r.add(QStringLiteral("save"), 2, [](TmacroCall &c) { saveMacro(c, false); });
    r.add(QStringLiteral("append"), 2, [](TmacroCall &c) { saveMacro(c, true); });
    r.add(QStringLiteral("chdir"), 1, chdirMacro);
    r.add(QStringLiteral("dir"), 1, dirMacro);
    r.add(QStringLiteral("filesize"), 1, filesizeMacro);
    r.add(QStringLiteral("filetime"), 1, filetimeMacro);
    r.add(QStringLiteral("exists"), 1, existsMacro);
    r.add(QStringLiteral("is file"), 1, isFileMacro);
    r.add(QStringLiteral("is file protected"), 1, isFileProtectedMacro);
    r.add(QStringLiteral("disk free"), 1, diskFreeMacro);
    r.add(QStringLiteral("vfs to disk"), 1,
          [](TmacroCall &c) { c.result = vfsToDisk(c.par(0), c.md.folder); });
    r.add(QStringLiteral("md5 file"), 1, md5FileMacro);
    r.add(QStringLiteral("any macro marker"), 1, anyMacroMarkerMacro);
    registerFileOpMacros(r);
}
