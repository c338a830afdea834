#include "vfs/fingerprint.h"

#include "vfs/comments.h"
#include "vfs/diskEntry.h"
#include "vfs/fileListingNames.h"
#include "util/asciiCase.h"
#include "util/files.h"

#include <QCryptographicHash>
#include <QFile>

namespace {

constexpr qint64 chunkSize = 32768;

} // namespace

void Thasher::loadFrom(const QString &folder)
{
    // Names only: a folder or anything but a regular file named "*.md5"
    // reads as empty below.
    TsideFileScope *scope = TsideFileScope::current();
    bool readable = false;
    const QStringList names = scope ? scope->namesIn(folder, &readable) : readSideFileNames(folder, &readable);
    sumFilesPossible = !readable;
    for (const QString &name : names) {
        if (!endsWithText(name, u".md5"))
            continue;
        sumFilesPossible = true;
        const QString text = loadTextFile(joinPath(folder, name));
        for (QString line : text.split(u'\n')) {
            if (line.endsWith(u'\r'))
                line.chop(1);
            const qsizetype star = line.indexOf(u'*');
            QString digest, file;
            if (star < 0) {
                digest = line.section(u' ', 0, 0).trimmed();
                file = name.left(name.size() - 4);
            } else {
                digest = line.left(star).trimmed();
                file = line.mid(star + 1);
            }
            if (digest.isEmpty())
                break;
            // A name never leaves the folder.
            if (file.isEmpty() || file.contains(u'/'))
                continue;
            const QString key = asciiLower(joinPath(folder, file));
            if (!hashes.contains(key)) // the first line naming a file answers
                hashes.insert(key, digest);
        }
    }
}

QString Thasher::getHashFor(const QString &path) const
{
    return hashes.isEmpty() ? QString() : hashes.value(asciiLower(path));
}

QString getOwnFingerprint(const QString &path)
{
    if (!sideFileMayExist(path, u".md5"))
        return {};
    const QString md5 = path + QStringLiteral(".md5");
    const DiskEntryInfo own = diskEntryInfo(md5);
    if (own.kind != DiskEntry::File || own.mtime < diskEntryInfo(path).mtime)
        return {};
    return loadTextFile(md5).section(u' ', 0, 0).trimmed();
}

QString getFingerprint(const QString &path)
{
    const QString own = getOwnFingerprint(path);
    if (!own.isEmpty())
        return own;
    Thasher h;
    h.loadFrom(folderOfPath(path));
    return h.getHashFor(path);
}

QString computeFingerprint(const QString &path, const std::function<bool(double share)> &progress)
{
    if (diskEntryKind(path) != DiskEntry::File)
        return {}; // never open a FIFO or a device
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const qint64 total = f.size();
    QCryptographicHash md5(QCryptographicHash::Md5);
    qint64 done = 0;
    for (;;) {
        const QByteArray chunk = f.read(chunkSize);
        if (chunk.isEmpty())
            break;
        md5.addData(chunk);
        done += chunk.size();
        if (progress && !progress(total > 0 ? double(done) / double(total) : 1.0))
            return {};
    }
    if (f.error() != QFileDevice::NoError)
        return {};
    return QString::fromLatin1(md5.result().toHex());
}

bool autoFingerprint(const QString &path, qint64 size)
{
    const TcommentOptions &o = commentOptions();
    if (!o.enableFingerprints || o.autoFingerprint <= 0 || size < 0 || size / 1024 > o.autoFingerprint)
        return false;
    if (!getFingerprint(path).isEmpty())
        return false;
    const QString digest = computeFingerprint(path);
    if (digest.isEmpty())
        return false;
    const bool saved = saveTextFile(path + QStringLiteral(".md5"), digest);
    TsideFileScope::forgetAll();
    return saved;
}
