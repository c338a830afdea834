// Reading a tree file into the tree (bytesToVfs).

#include "vfs/account.h"
#include "vfs/tlv.h"
#include "vfs/vfs.h"
#include "vfs/vfsFormat.h"
#include "vfs/vfsFormatIcons.h"
#include "util/asciiCase.h"
#include "util/codePage.h"

#include <cmath>

namespace {

// Where a region lies: the file itself, its decompressed body, or a node.
enum class Level { File, Body, Node };

bool storableNodeName(const QString &name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/')
        && !name.contains(QChar(0));
}

// Conversion of the permission lists of builds before 213: "*" and "*+"
// were the special names of everyone and of any account.
void convertOldList(QStringList &list, const QString &build)
{
    QStringList out;
    for (QString name : std::as_const(list)) {
        if (name == u"*")
            name = USER_ANYONE.toString();
        else if (name == u"*+")
            name = USER_ANY_ACCOUNT.toString();
        const bool dup = std::any_of(out.cbegin(), out.cend(),
                                     [&](const QString &o) { return sameText(o, name); });
        if (!dup)
            out.append(name);
    }
    if ((build == u"211" || build == u"212") && out.contains(USER_ANY_ACCOUNT.toString())
        && out.contains(USER_ANONYMOUS.toString())) {
        out.removeAll(USER_ANY_ACCOUNT.toString());
        out.removeAll(USER_ANONYMOUS.toString());
        if (!out.contains(USER_ANYONE.toString()))
            out.append(USER_ANYONE.toString());
    }
    sortAccountList(out);
    list = out;
}

class TvfsReader {
public:
    TvfsReader(Tvfs &vfs, TvfsLoadFlags &flags, const TvfsReadHooks &hooks)
        : vfs(vfs), flags(flags), hooks(hooks)
    {
    }

    void readFile(const QByteArray &data);

private:
    // Reads the records of the current region of `t` into `node`.
    void readRegion(Ttlv &t, Tfile *node, Level level);
    // Handles one record that sets a field of `node`; false for other types.
    bool readField(Ttlv &t, int type, Tfile *node, bool &damaged);
    void readChild(Ttlv &t, Tfile *parent);
    void readCounters(Ttlv &t);
    void checkSum(Ttlv &t);
    void finishNode(Tfile *f);
    void afterFile();
    bool ask(const QString &text, bool safeAnswer) const
    {
        return hooks.askYesNo ? hooks.askYesNo(text, safeAnswer) : safeAnswer;
    }
    void tell(const QString &text) const
    {
        if (hooks.message)
            hooks.message(text);
    }
    bool attached(const Tfile *f) const { return f == vfs.root() || (f && f->vfs() == &vfs); }

    Tvfs &vfs;
    TvfsLoadFlags &flags;
    const TvfsReadHooks &hooks;
    QString build; // empty: older than every build
    bool stop = false;
    bool rootWasBrowsable = false;
    qint64 inflateBudget = 0;
};

void TvfsReader::readFile(const QByteArray &data)
{
    vfs.uploadFolders.clear();
    vfs.usersInVFS.reset();
    if (data.contains("{."))
        flags.containsMacros = true;
    inflateBudget = hooks.inflateCap;
    const TfilePtr root(vfs.root());
    if (!root)
        return;
    Ttlv t;
    t.parse(data);
    readRegion(t, root.data(), Level::File);
    if (t.isCorrupted())
        flags.corrupted = true;
    afterFile();
}

void TvfsReader::readRegion(Ttlv &t, Tfile *node, Level level)
{
    if (level != Level::Node || !node->isRoot())
        vfs.removeChildren(node);
    const bool fileLevel = level != Level::Node;
    while (!stop) {
        const int type = t.pop();
        if (type < 0)
            break;
        bool damaged = false;
        switch (type) {
        case VR_MAGIC:
        case VR_VERSION:
            if (!fileLevel)
                flags.unknownData = true;
            break;
        case VR_BUILD:
            if (fileLevel)
                build = t.lastText();
            else
                flags.unknownData = true;
            break;
        case VR_FORMAT: {
            if (!fileLevel) {
                flags.unknownData = true;
                break;
            }
            qint32 v = 0;
            if (!t.lastInt(v))
                flags.oldFormat = true;
            else if (v > VFS_FORMAT_VERSION && ask(MSG_VFS_NEWER_INCOMPATIBLE, true))
                stop = flags.stopped = true;
            break;
        }
        case VR_CHECKSUM:
            if (level == Level::File)
                checkSum(t);
            else
                flags.unknownData = true;
            break;
        case VR_COMPRESSED: {
            if (level != Level::File) {
                // Compression happens once, around the whole body.
                flags.corrupted = true;
                break;
            }
            bool ok = false;
            const QByteArray body = vfsInflate(t.lastRaw().constData(), t.lastSize(), inflateBudget, &ok);
            if (!ok) {
                flags.corrupted = true;
                tell(MSG_VFS_CORRUPTED_ZLIB);
                break;
            }
            inflateBudget -= body.size();
            if (body.contains("{."))
                flags.containsMacros = true;
            Ttlv inner;
            inner.parse(body);
            readRegion(inner, node, Level::Body);
            if (inner.isCorrupted())
                flags.corrupted = true;
            break;
        }
        case VR_ROOT: {
            if (!fileLevel) {
                flags.unknownData = true;
                break;
            }
            const TfilePtr root(vfs.root());
            if (!root || !t.down()) {
                damaged = true;
                break;
            }
            // Empty values are not written: a mask the user cleared must not
            // come back as the default of a new tree.
            root->defaultFileMask.clear();
            root->dontCountAsDownloadMask.clear();
            readRegion(t, root.data(), Level::Node);
            t.up();
            if (build < u"109")
                root->flags.set(FA_ARCHIVABLE);
            break;
        }
        case VR_COUNTERS:
            if (fileLevel)
                readCounters(t);
            else
                flags.unknownData = true;
            break;
        case VR_NODE:
            if (!t.down()) {
                damaged = true;
                break;
            }
            readChild(t, node);
            t.up();
            break;
        default:
            if (!readField(t, type, node, damaged))
                flags.unknownData = true;
            break;
        }
        if (damaged) {
            // The rest of this region cannot be trusted.
            flags.corrupted = true;
            break;
        }
    }
    if (level == Level::Node)
        finishNode(node);
}

bool TvfsReader::readField(Ttlv &t, int type, Tfile *node, bool &damaged)
{
    switch (type) {
    case VR_RESOURCE:
        node->resource = t.lastText();
        break;
    case VR_COMMENT:
        node->comment = t.lastText();
        break;
    case VR_REALM:
        node->realm = t.lastText();
        break;
    case VR_FILES_FILTER:
        node->filesFilter = t.lastText();
        break;
    case VR_FOLDERS_FILTER:
        node->foldersFilter = t.lastText();
        break;
    case VR_DEFAULT_MASK:
        node->defaultFileMask = t.lastText();
        break;
    case VR_NOCOUNT_MASK:
        node->dontCountAsDownloadMask = t.lastText();
        break;
    case VR_DIFF_TPL:
        node->diffTpl = t.lastText();
        break;
    case VR_UPLOAD_FILTER:
        node->uploadFilterMask = t.lastText();
        break;
    case VR_NAME:
        // The root is always "/".
        if (!node->isRoot())
            node->setName(t.lastText());
        break;
    case VR_FLAGS: {
        // The value's bytes overwrite the attribute word, at most its 4.
        const QByteArray raw = t.lastRaw();
        quint32 word = node->flags.toWord();
        for (int i = 0; i < 4 && i < raw.size(); ++i)
            word = (word & ~(quint32(0xFF) << (8 * i))) | quint32(quint8(raw[i])) << (8 * i);
        TfileAttributes a = TfileAttributes::fromWord(word);
        if (node->isRoot())
            rootWasBrowsable = a.has(FA_BROWSABLE);
        // Temporary and retired bits never come from a file, and only the
        // root record makes a root.
        a.clear(FA_NO_MORE_USED1);
        a.clear(FA_NO_MORE_USED2);
        a.clear(FA_TEMP);
        a.set(FA_ROOT, node->isRoot());
        if (node->isRoot())
            a.set(FA_FOLDER);
        node->flags = a;
        break;
    }
    case VR_ACCESS:
    case VR_UPLOAD:
    case VR_DELETE: {
        const TfileAction action = type == VR_ACCESS ? FA_ACCESS : type == VR_UPLOAD ? FA_UPLOAD : FA_DELETE;
        node->accounts[action] = t.lastText().split(u';', Qt::SkipEmptyParts);
        break;
    }
    case VR_ADDED: {
        double d = 0;
        if (!t.lastDouble(d)) {
            damaged = true;
            break;
        }
        // A date that is not a number would poison every computation with it.
        if (std::isfinite(d))
            node->atime = d;
        break;
    }
    case VR_DLCOUNT: {
        qint32 n = 0;
        if (!t.lastInt(n)) {
            damaged = true;
            break;
        }
        node->ownDownloads = n;
        break;
    }
    case VR_ICON: {
        const QByteArray img = t.lastRaw();
        if (!img.isEmpty())
            node->icon = TvfsIcons::current().indexOf(img);
        break;
    }
    case VR_USERPWD:
    case VR_USERPWD_OLD: {
        const QByteArray bytes = QByteArray::fromBase64(t.lastRaw());
        const QString s = type == VR_USERPWD ? QString::fromUtf8(bytes) : codePageToText(bytes);
        const qsizetype colon = s.indexOf(u':');
        node->user = colon < 0 ? s : s.left(colon);
        node->pwd = colon < 0 ? QString() : s.mid(colon + 1);
        break;
    }
    case VR_NOCOUNT_OLD: {
        const QByteArray raw = t.lastRaw();
        if (!raw.isEmpty() && raw[0] != 0)
            node->flags.set(FA_DONT_COUNT_AS_DL);
        break;
    }
    default:
        return false;
    }
    return true;
}

void TvfsReader::readChild(Ttlv &t, Tfile *parent)
{
    if (hooks.progress && !hooks.progress(t.getPerc())) {
        flags.cancelled = true;
        stop = true;
        return;
    }
    // The event loop ran: the folder may have left the tree meanwhile.
    if (!attached(parent))
        return;
    const TfilePtr f = Tfile::create(QString());
    // Unnamed yet, so names from the file are not checked against siblings.
    if (!vfs.add(f, parent, false))
        return;
    readRegion(t, f.data(), Level::Node);
    if (!attached(f.data()))
        return;
    if (!storableNodeName(f->name)) {
        flags.corrupted = true;
        vfs.remove(f.data());
        return;
    }
    // Only folders hold nodes; a node that turned into a file or link after
    // its children were read loses them.
    if (!f->isFolder() && !f->children().isEmpty()) {
        flags.corrupted = true;
        vfs.removeChildren(f.data());
    }
    // Its name and kind are final now: take its place among the siblings
    // (records in an unusual order may have changed them after the name).
    vfs.resort(f.data());
}

void TvfsReader::readCounters(Ttlv &t)
{
    vfs.clearTempDownloadCounts();
    if (!t.down()) {
        flags.corrupted = true;
        return;
    }
    while (t.pop() == VR_NODE) {
        if (!t.down())
            break;
        QString path;
        qint32 count = 0;
        bool haveCount = false;
        for (int type = t.pop(); type >= 0; type = t.pop()) {
            if (type == VR_NAME)
                path = t.lastText();
            else if (type == VR_DLCOUNT)
                haveCount = t.lastInt(count);
        }
        t.up();
        if (!path.isEmpty() && haveCount)
            vfs.setTempDownloadCount(path, count);
    }
    t.up();
}

void TvfsReader::checkSum(Ttlv &t)
{
    qint32 stored = 0;
    const bool haveSum = t.lastInt(stored);
    const QByteArray rest = t.getTheRest();
    if (haveSum && quint32(stored) == vfsChecksum(rest))
        return;
    flags.corrupted = true;
    if (hooks.backupExists && ask(MSG_VFS_CORRUPTED_BACKUP, true)) {
        flags.backupRequested = true;
        stop = flags.stopped = true;
        return;
    }
    if (ask(MSG_VFS_CORRUPTED_CRC, true))
        stop = flags.stopped = true;
}

void TvfsReader::finishNode(Tfile *f)
{
    if (build < u"213")
        for (QStringList &list : f->accounts)
            convertOldList(list, build);
    if (f->flags.has(FA_VIS_ONLY_ANON))
        flags.anonymousOnly = true;
    if (f->isVirtualFolder() || f->isLink())
        f->mtime = f->atime;
}

void TvfsReader::afterFile()
{
    Tfile *root = vfs.root();
    if (!root)
        return;
    const bool browsable = !rootWasBrowsable;
    const bool old = flags.oldFormat;
    // Registrations are made once the tree is complete, so that nodes refused
    // on the way leave nothing behind.
    root->recursiveApply([&](Tfile &f, bool) -> TfileCallbackReturn {
        if (old && f.isFolder())
            f.flags.set(FA_BROWSABLE, browsable);
        if (!f.user.isEmpty())
            vfs.usersInVFS.track(f.user, f.pwd);
        if (!f.accounts[FA_UPLOAD].isEmpty() && !f.resource.isEmpty())
            vfs.uploadFolders.append(f.resource);
        return 0;
    });
}

} // namespace

void bytesToVfs(const QByteArray &data, Tvfs &vfs, TvfsLoadFlags &flags, const TvfsReadHooks &hooks)
{
    TvfsReader(vfs, flags, hooks).readFile(data);
}
