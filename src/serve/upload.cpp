// The upload of POST file parts: checks, the name on disk, writing, results.
#include "serve/upload.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "log/log.h"
#include "serve/clientInfo.h"
#include "serve/connData.h"
#include "serve/logPeer.h"
#include "serve/sameSite.h"
#include "serve/serve.h"
#include "serve/treeAccess.h"
#include "util/asciiCase.h"
#include "util/encodings.h"
#include "util/masks.h"
#include "vfs/permissions.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStorageInfo>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString fileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString folderOf(const QString &path)
{
    const qsizetype i = path.lastIndexOf(u'/');
    return i <= 0 ? QStringLiteral("/") : path.left(i);
}

// A name for a file written beside `dest` until it replaces it: hidden,
// with a random part that no client can guess.
QString tempBeside(const QString &dest)
{
    return folderOf(dest) + QStringLiteral("/.zof-upload-")
        + QString::number(QRandomGenerator::system()->generate64(), 36) + QStringLiteral(".part");
}

// The real folder holding `path` lies inside `root` (symbolic links resolved).
bool insideFolder(const QString &path, const QString &root)
{
    const QString r = QFileInfo(root).canonicalFilePath();
    const QString d = QFileInfo(folderOf(path)).canonicalFilePath();
    return !r.isEmpty() && !d.isEmpty() && (d == r || d.startsWith(r.endsWith(u'/') ? r : r + u'/'));
}

} // namespace

QString uploadMaskFor(const Tfile *folder)
{
    QString mask;
    if (folder) {
        mask = folder->uploadFilterMask;
        if (folder->isTemp() && folder->parent())
            mask = folder->parent()->uploadFilterMask;
    }
    return mask.isEmpty() ? DEFAULT_UPLOAD_FILTER : mask;
}

bool uploadNameAllowed(const QString &name, const Tfile *folder)
{
    if (!validFilename(name) || sameText(name, u"zof.diff.tpl") || asciiLower(name).endsWith(QLatin1String(".lnk")))
        return false;
    return matchFileMask(uploadMaskFor(folder), name);
}

QString scriptUploadPath(const QString &cleaned, const QString &folder)
{
    // No drive letters here; a "\" separates folders.
    if (cleaned.isEmpty() || cleaned.contains(u':'))
        return {};
    const bool absolute = cleaned.startsWith(u'\\');
    const QStringList parts = (absolute ? cleaned.mid(1) : cleaned).split(u'\\');
    for (const QString &p : parts)
        if (!validFilename(p))
            return {};
    return (absolute ? QString() : folder) + u'/' + parts.join(u'/');
}

QString numberedName(const QString &name, const std::function<bool(const QString &)> &taken)
{
    if (!taken(name))
        return name;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    for (int i = 1;; ++i) {
        const QString n = base + QStringLiteral(" (") + QString::number(i) + u')' + ext;
        if (!taken(n) || i == 100000)
            return n;
    }
}

QString partialUploadPath(const QString &path, const QString &pattern)
{
    if (!asciiLower(pattern).contains(QLatin1String("%name%")))
        return path + pattern;
    QString n = pattern;
    for (qsizetype i = 0; (i = asciiLower(n).indexOf(QLatin1String("%name%"), i)) >= 0;) {
        n.replace(i, 6, fileNameOf(path));
        i += fileNameOf(path).size();
    }
    return folderOf(path) + u'/' + n;
}

QString writeFailure(int err, const QString &otherwise)
{
    if (err == ENOSPC || err == EDQUOT)
        return QStringLiteral("Minimum disk space reached.");
    return QStringLiteral("Error writing file: ") + (err ? QString::fromLocal8Bit(std::strerror(err)) : otherwise);
}

bool pathTaken(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

void TuploadManager::postEvent(TserverEvent e, TconnData &cd)
{
    switch (e) {
    case SE_POST_FILE_START: start(cd); break;
    case SE_POST_FILE_DATA: data(cd); break;
    case SE_POST_FILE_END: end(cd); break;
    // A body that ended by its length inside a file part: that part never
    // completed, and the connection may live on for a long time.
    case SE_POST_END: partial(cd); break;
    default: break;
    }
}

void TuploadManager::abandon(TconnData &cd)
{
    partial(cd);
    created.remove(&cd);
}

QString TuploadManager::createdPath(const TconnData &cd) const
{
    const auto it = created.constFind(&cd);
    if (it == created.cend())
        return {};
    const QString path = it->temp.isEmpty() ? cd.upload.destination : it->temp;
    struct stat st;
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)
        || st.st_dev != it->dev || st.st_ino != it->ino)
        return {};
    return path;
}

void TuploadManager::removeCreated(TconnData &cd)
{
    const QString path = createdPath(cd);
    if (!path.isEmpty())
        ::unlink(QFile::encodeName(path).constData());
    created.remove(&cd);
}

bool TuploadManager::moveCreated(TconnData &cd, const QString &to)
{
    const QString path = createdPath(cd);
    if (path.isEmpty())
        return false;
    if (path != to && ::rename(QFile::encodeName(path).constData(), QFile::encodeName(to).constData()) != 0)
        return false;
    created[&cd].temp.clear();
    return true;
}

void TuploadManager::partial(TconnData &cd)
{
    if (!cd.upload.file)
        return;
    cd.upload.file->close();
    cd.upload.file.reset();
    const QString &dest = cd.upload.destination;
    if (createdPath(cd).isEmpty()) {
        created.remove(&cd);
        return;
    }
    const Toptions &o = opts();
    if (o.deletePartialUploads) {
        removeCreated(cd);
    } else if (!o.renamePartialUploads.isEmpty()) {
        const QString to = partialUploadPath(dest, o.renamePartialUploads);
        // Never out of the folder, never over something that is there.
        if (folderOf(to) == folderOf(dest) && validFilename(fileNameOf(to)) && !pathTaken(to))
            moveCreated(cd, to);
    } else {
        // Kept as it is, under the name it was uploaded to.
        moveCreated(cd, dest);
    }
    created.remove(&cd);
}

void TuploadManager::fail(TconnData &cd, const QString &reason)
{
    if (cd.upload.file) {
        cd.upload.file->close();
        cd.upload.file.reset();
    }
    removeCreated(cd);
    cd.upload.failure = reason;
}

// An upload's event runs about a temporary item for the file being
// written (its size is the file's current size), in the receiving folder.
QString TuploadManager::runUploadEvent(const QString &name, TconnData &cd)
{
    TeventHooks &events = serve().events();
    if (!events.has(name))
        return {};
    const Tfile *folder = cd.transfer.lastFile.data();
    const QString path = !cd.upload.destination.isEmpty() || !folder
        ? cd.upload.destination
        : folder->resource + u'/' + cd.upload.source;
    const TfilePtr item = Tfile::createTemp(path, folder);
    return events.runFor(name, &cd, item.data());
}

void TuploadManager::chooseDestination(TconnData &cd, const Tfile &folder)
{
    const QString base = folder.resource;
    cd.upload.destination = base + u'/' + cd.upload.source;
    // A name the script gives is confined like the visitor's own: checked
    // against the folder below, like any destination.
    const QString answer = cleanScriptName(runUploadEvent(QStringLiteral("upload name"), cd));
    if (!answer.isEmpty()) {
        const QString path = scriptUploadPath(answer, base);
        if (path.isEmpty()) {
            cd.upload.failure = QStringLiteral("File name or extension forbidden.");
            return;
        }
        cd.upload.destination = path;
    }
    if (opts().numberFilesOnUpload) {
        const QString dir = folderOf(cd.upload.destination);
        cd.upload.destination = dir + u'/' + numberedName(fileNameOf(cd.upload.destination), [&](const QString &n) {
            return pathTaken(dir + u'/' + n);
        });
    }
}

void TuploadManager::start(TconnData &cd)
{
    ThttpConn &conn = *cd.conn;
    serve().sessions().restore(cd);
    cd.transfer.downloadingWhat = DW_UNK;
    cd.request.agent = recognizeAgent(conn.getHeader(QByteArrayView("User-Agent")));
    cd.transfer.started = now();
    cd.transfer.eta.reset();
    cd.transfer.averageSpeed = 0;
    const QByteArray &url = conn.request().url;
    const qsizetype q = url.indexOf('?');
    const TfilePtr folder = findInTree(decodeURL(QByteArrayView(url).first(q < 0 ? url.size() : q)));
    cd.transfer.lastFile = folder;
    cd.upload.source = conn.post().filename;
    cd.upload.failure.clear();
    // Only a file created by this part may be deleted on failure; a file
    // an earlier part left open is handled as an interrupted upload.
    partial(cd);
    created.remove(&cd);
    cd.upload.destination.clear();
    if (fromAnotherSite(conn) || wrongFormToken(cd)) {
        // Another site's page sent it: nothing is written (the request is
        // refused as a whole when it completes).
        cd.upload.failure = QStringLiteral("Not allowed.");
    } else if (!folder || !folder->isFolder()) {
        cd.upload.failure = QStringLiteral("Folder not found.");
    } else if (!accountAllowed(FA_UPLOAD, &cd, folder.data()) || !folder->accessFor(&cd)) {
        cd.upload.failure = QStringLiteral("Not allowed.");
    } else if (!folder->isRealFolder() || folder->resource.isEmpty()) {
        cd.upload.failure = QStringLiteral("Error creating file.");
    } else if (conn.post().filenameHadPath && cd.upload.source.startsWith(u'.')) {
        // "ok\.txt" keeps ".txt" of the client's path: never a hidden file.
        cd.upload.failure = QStringLiteral("File name or extension forbidden.");
    } else {
        chooseDestination(cd, *folder);
        if (cd.upload.failure.isEmpty()
            && (!uploadNameAllowed(cd.upload.source, folder.data())
                || !uploadNameAllowed(fileNameOf(cd.upload.destination), folder.data())
                || !insideFolder(cd.upload.destination, folder->resource)))
            cd.upload.failure = QStringLiteral("File name or extension forbidden.");
        if (cd.upload.failure.isEmpty()) {
            const QStorageInfo disk(folderOf(cd.upload.destination));
            if (disk.isValid() && disk.bytesAvailable() / 1048576 < opts().minDiskSpace)
                cd.upload.failure = QStringLiteral("Minimum disk space reached.");
        }
        if (cd.upload.failure.isEmpty() && !create(cd))
            cd.upload.failure = QStringLiteral("Error creating file.");
        if (!cd.upload.failure.isEmpty() && !cd.upload.file)
            cd.upload.destination.clear(); // nothing of ours at that path
    }
    if (!cd.upload.failure.isEmpty() && opts().logUploads)
        add2log(QStringLiteral("Upload failed %1 : %2").arg(cd.upload.source, cd.upload.failure),
                logPeer(cd.conn));
}

bool TuploadManager::create(TconnData &cd)
{
    // Only a regular file is ever replaced; nothing is followed.
    QString at = cd.upload.destination;
    struct stat st;
    if (::lstat(QFile::encodeName(at).constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return false;
        at = tempBeside(cd.upload.destination);
    }
    const QByteArray p = QFile::encodeName(at);
    const int fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    auto f = std::make_unique<QFile>();
    if (::fstat(fd, &st) != 0 || !f->open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        ::unlink(p.constData());
        return false;
    }
    created.insert(&cd, {st.st_dev, st.st_ino, at == cd.upload.destination ? QString() : at});
    cd.upload.file = std::move(f);
    return true;
}

void TuploadManager::data(TconnData &cd)
{
    if (!cd.upload.file || !cd.upload.failure.isEmpty())
        return;
    const QByteArray &d = cd.conn->post().data;
    errno = 0;
    if (cd.upload.file->write(d) == d.size())
        return;
    const int err = errno;
    fail(cd, writeFailure(err, cd.upload.file->errorString()));
}

void TuploadManager::end(TconnData &cd)
{
    TuploadResult r;
    r.fn = cd.upload.destination.isEmpty() ? cd.upload.source : fileNameOf(cd.upload.destination);
    r.size = -1;
    const double secs = (now() - cd.transfer.started) * secondsPerDay;
    r.speed = secs > 0 ? std::round(double(cd.conn->bytesPostedLastItem()) / secs) : 0;
    const bool chosen = !cd.upload.destination.isEmpty();
    if (chosen)
        serve().counters().increment(QStringLiteral("upload-total"));
    if (cd.upload.file) {
        r.size = cd.upload.file->size();
        cd.upload.file->close();
        cd.upload.file.reset();
        // Complete: it takes the place of the file it replaces.
        if (cd.upload.failure.isEmpty() && !moveCreated(cd, cd.upload.destination))
            fail(cd, writeFailure(errno, QStringLiteral("the file went away")));
    }
    if (!cd.upload.failure.isEmpty()) {
        runUploadEvent(QStringLiteral("upload failed"), cd);
    } else {
        cd.upload.failure = runUploadEvent(QStringLiteral("upload completed"), cd).trimmed();
    }
    r.reason = cd.upload.failure;
    if (!r.reason.isEmpty()) {
        removeCreated(cd);
        r.size = -1;
    }
    created.remove(&cd);
    cd.upload.results.append(r);
}
