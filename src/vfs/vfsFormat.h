#pragma once

// The tree file: a nested type-length-value container (see tlv.h) holding
// the whole tree with every node's properties, custom icons and the counters
// of files reached through real folders, with a checksum and, for large
// trees, zlib compression.

#include <QByteArray>
#include <QString>

#include <functional>

class Tvfs;

// Record types. The numbers are stored in files: never renumber.
enum TvfsRecord : int {
    VR_MAGIC = 0,
    VR_RESOURCE = 1,
    VR_NAME = 2,
    VR_FLAGS = 3,
    VR_NODE = 4,
    VR_FORMAT = 5,
    VR_CHECKSUM = 6,
    VR_COMMENT = 7,
    VR_USERPWD_OLD = 8, // read only
    VR_ADDED = 9,
    VR_DLCOUNT = 10,
    VR_ROOT = 11,
    VR_ACCESS = 12,
    VR_FILES_FILTER = 13,
    VR_FOLDERS_FILTER = 14,
    VR_ICON = 15,
    VR_REALM = 16,
    VR_UPLOAD = 17,
    VR_DEFAULT_MASK = 18,
    VR_NOCOUNT_MASK = 19,
    VR_COUNTERS = 20,
    VR_NOCOUNT_OLD = 21, // read only
    VR_VERSION = 22,
    VR_BUILD = 23,
    VR_COMPRESSED = 24,
    VR_DIFF_TPL = 25,
    VR_UPLOAD_FILTER = 26,
    VR_DELETE = 27,
    VR_USERPWD = 108,
};

inline constexpr int VFS_FORMAT_VERSION = 1;
inline constexpr char VFS_MAGIC_TEXT[] = "ZOF.VFS";
// Root data longer than this is stored compressed.
inline constexpr qsizetype VFS_COMPRESS_ABOVE = 10240;

// What the reader found; the loader turns these into messages.
struct TvfsLoadFlags {
    bool oldFormat = false;       // short format record: settings of an old build
    bool unknownData = false;     // records of unknown types were skipped
    bool anonymousOnly = false;   // a node uses "visible only to anonymous users"
    bool backupRequested = false; // the user chose the backup of a damaged file
    bool containsMacros = false;  // the file holds the macro marker
    // Damage the reader stepped over: a bad checksum the user read on, a
    // damaged compressed body, records overrunning their region, nesting too
    // deep, or nodes refused for invalid names.
    bool corrupted = false;
    bool stopped = false;   // an answer stopped reading early
    bool cancelled = false; // the progress window was cancelled

    // Content that must not be saved over the file automatically.
    bool problematic() const
    {
        return oldFormat || unknownData || anonymousOnly || corrupted || stopped;
    }
};

// How the reader talks to the operator. Every member may be left empty.
struct TvfsReadHooks {
    // A Yes/No question; `safeAnswer` is the answer to take when nobody can
    // be asked. Returns true for Yes.
    std::function<bool(const QString &text, bool safeAnswer)> askYesNo;
    std::function<void(const QString &text)> message;
    // Progress of the file (0..1) before each node; lets the event loop run.
    // Returns false when the user cancelled.
    std::function<bool(double share)> progress;
    // Whether the file being read has a ".bak" copy to fall back on.
    bool backupExists = false;
    // The most a compressed body may inflate to.
    qint64 inflateCap = qint64(512) << 20;
};

// Messages of the reader.
extern const QString MSG_VFS_NEWER_INCOMPATIBLE;
extern const QString MSG_VFS_CORRUPTED_BACKUP;
extern const QString MSG_VFS_CORRUPTED_CRC;
extern const QString MSG_VFS_CORRUPTED_ZLIB;

// The bytes of a tree file for `vfs`; `version` and `build` name the program.
// Temporary nodes and nodes published for the current run only are left out.
// Empty when the tree could not be encoded (compression failed): a tree file
// is never empty.
QByteArray vfsToBytes(const Tvfs &vfs, const QString &version, const QString &build);

// Replaces the tree of `vfs` with the content of a tree file. Sets `flags`;
// never reads outside `data`.
void bytesToVfs(const QByteArray &data, Tvfs &vfs, TvfsLoadFlags &flags,
                const TvfsReadHooks &hooks = {});

// Sum of the data read as consecutive 32-bit little-endian words; trailing
// bytes that do not fill a word are not counted.
quint32 vfsChecksum(const char *data, qsizetype size);
inline quint32 vfsChecksum(const QByteArray &data) { return vfsChecksum(data.constData(), data.size()); }

// Whether `data` starts with the magic record.
bool hasVfsMagic(const QByteArray &data);

// zlib stream helpers. vfsInflate fails (ok = false) on a damaged stream, on
// trailing garbage-free truncation, or when the output would pass `cap`.
QByteArray vfsDeflate(const QByteArray &data, int level);
QByteArray vfsInflate(const char *data, qsizetype size, qint64 cap, bool *ok);
