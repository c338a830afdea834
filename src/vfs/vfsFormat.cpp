#include "vfs/vfsFormat.h"

#include "vfs/tlv.h"
#include "vfs/vfs.h"
#include "vfs/vfsFormatIcons.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <zlib.h>

const QString MSG_VFS_NEWER_INCOMPATIBLE = QStringLiteral(
    "This file has been created with a newer and incompatible version."
    "\rGoing on may lead to problems.\rIt is adviced to stop loading.\rStop?");
const QString MSG_VFS_CORRUPTED_BACKUP =
    QStringLiteral("This file is corrupted but a backup is available.\rContinue with backup?");
const QString MSG_VFS_CORRUPTED_CRC = QStringLiteral(
    "This file is corrupted (CRC).\rGoing on may lead to problems.\rIt is adviced to stop loading.\rStop?");
const QString MSG_VFS_CORRUPTED_ZLIB = QStringLiteral("This file is corrupted (ZLIB).");

quint32 vfsChecksum(const char *data, qsizetype size)
{
    quint32 sum = 0;
    const qsizetype words = size / 4;
    for (qsizetype i = 0; i < words; ++i)
        sum += Ttlv::getU32(data + i * 4);
    return sum;
}

bool hasVfsMagic(const QByteArray &data)
{
    static const QByteArray magic = Ttlv::record(VR_MAGIC, QByteArray(VFS_MAGIC_TEXT));
    return data.startsWith(magic);
}

QByteArray vfsDeflate(const QByteArray &data, int level)
{
    uLongf outLen = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(outLen), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &outLen,
                  reinterpret_cast<const Bytef *>(data.constData()), uLong(data.size()), level) != Z_OK)
        return {};
    out.truncate(qsizetype(outLen));
    return out;
}

QByteArray vfsInflate(const char *data, qsizetype size, qint64 cap, bool *ok)
{
    *ok = false;
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return {};
    QByteArray out;
    constexpr qsizetype chunk = 256 * 1024;
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    qsizetype inLeft = size;
    int rc = Z_OK;
    // One byte past the cap is enough to know that the body is too large.
    while (rc != Z_STREAM_END && out.size() <= cap) {
        if (zs.avail_in == 0 && inLeft > 0) {
            const uInt take = uInt(std::min<qsizetype>(inLeft, 1 << 30));
            zs.avail_in = take;
            inLeft -= take;
        }
        const qsizetype before = out.size();
        const qsizetype grow = std::min<qsizetype>(chunk, cap + 1 - before);
        out.resize(before + grow);
        zs.next_out = reinterpret_cast<Bytef *>(out.data() + before);
        zs.avail_out = uInt(grow);
        rc = inflate(&zs, Z_NO_FLUSH);
        out.resize(before + grow - qsizetype(zs.avail_out));
        if (rc == Z_BUF_ERROR && zs.avail_in == 0 && inLeft == 0)
            break; // the input ended before the stream did
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            break;
    }
    inflateEnd(&zs);
    if (rc != Z_STREAM_END || out.size() > cap)
        return {};
    *ok = true;
    return out;
}

// ---------------------------------------------------------------- writing

namespace {

void appendText(QByteArray &out, TvfsRecord type, const QString &text)
{
    if (!text.isEmpty())
        out += Ttlv::textRecord(type, text);
}

QByteArray commonPart(const Tfile &f)
{
    QByteArray out;
    // The temporary bits never reach the file.
    TfileAttributes flags = f.flags;
    flags.clear(FA_NO_MORE_USED1);
    flags.clear(FA_NO_MORE_USED2);
    flags.clear(FA_TEMP);
    out += Ttlv::intRecord(VR_FLAGS, qint32(flags.toWord()));
    appendText(out, VR_RESOURCE, f.resource);
    appendText(out, VR_COMMENT, f.comment);
    if (!f.user.isEmpty())
        out += Ttlv::record(VR_USERPWD, (f.user + u':' + f.pwd).toUtf8().toBase64());
    appendText(out, VR_ACCESS, f.accounts[FA_ACCESS].join(u';'));
    appendText(out, VR_UPLOAD, f.accounts[FA_UPLOAD].join(u';'));
    appendText(out, VR_DELETE, f.accounts[FA_DELETE].join(u';'));
    appendText(out, VR_FILES_FILTER, f.filesFilter);
    appendText(out, VR_FOLDERS_FILTER, f.foldersFilter);
    appendText(out, VR_REALM, f.realm);
    appendText(out, VR_DEFAULT_MASK, f.defaultFileMask);
    appendText(out, VR_UPLOAD_FILTER, f.uploadFilterMask);
    appendText(out, VR_NOCOUNT_MASK, f.dontCountAsDownloadMask);
    appendText(out, VR_DIFF_TPL, f.diffTpl);
    return out;
}

bool isSaved(const Tfile &f)
{
    return !f.isTemp() && !f.runOnly;
}

QByteArray nodeRecord(const Tfile &f)
{
    QByteArray v = commonPart(f);
    appendText(v, VR_NAME, f.name);
    v += Ttlv::doubleRecord(VR_ADDED, f.atime);
    if (f.icon >= 0) {
        const QByteArray img = TvfsIcons::current().bytesOf(f.icon);
        if (!img.isEmpty())
            v += Ttlv::record(VR_ICON, img);
    }
    if (!f.isFolder() && !f.isLink())
        v += Ttlv::intRecord(VR_DLCOUNT, f.ownDownloads);
    for (const TfilePtr &c : f.children())
        if (isSaved(*c))
            v += nodeRecord(*c);
    return Ttlv::record(VR_NODE, v);
}

QByteArray countersRecord(const Tvfs &vfs)
{
    const QHash<QString, int> &counts = vfs.tempDownloadCounts();
    if (counts.isEmpty())
        return {};
    // Sorted, so that equal trees give equal files.
    QStringList keys = counts.keys();
    keys.sort();
    QByteArray v;
    for (const QString &k : keys)
        v += Ttlv::record(VR_NODE, Ttlv::textRecord(VR_NAME, k) + Ttlv::intRecord(VR_DLCOUNT, counts.value(k)));
    return Ttlv::record(VR_COUNTERS, v);
}

} // namespace

QByteArray vfsToBytes(const Tvfs &vfs, const QString &version, const QString &build)
{
    const Tfile *root = vfs.root();
    QByteArray body;
    if (root) {
        body += Ttlv::record(VR_ROOT, commonPart(*root));
        for (const TfilePtr &c : root->children())
            if (isSaved(*c))
                body += nodeRecord(*c);
    }
    body += countersRecord(vfs);
    if (body.size() > VFS_COMPRESS_ABOVE) {
        // An empty stream would read back as a tree without any node.
        const QByteArray packed = vfsDeflate(body, 1);
        if (packed.isEmpty())
            return {};
        body = Ttlv::record(VR_COMPRESSED, packed);
    }

    QByteArray out = Ttlv::textRecord(VR_MAGIC, QString::fromLatin1(VFS_MAGIC_TEXT));
    out += Ttlv::intRecord(VR_FORMAT, VFS_FORMAT_VERSION);
    out += Ttlv::textRecord(VR_VERSION, version);
    out += Ttlv::textRecord(VR_BUILD, build);
    out += Ttlv::intRecord(VR_CHECKSUM, qint32(vfsChecksum(body)));
    out += body;
    return out;
}
