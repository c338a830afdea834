#pragma once

// A node of the virtual file system: the root, a virtual folder, a real folder
// (bound to a disk folder), a file, a link, or a temporary node standing for an
// item found on disk below a real folder.
//
// Nodes are reference-counted (TfilePtr). A tree node is owned by its parent;
// anyone who needs a node across a wait (a listing, a page build, a download)
// holds a TfilePtr, so a node removed meanwhile is only detached and is freed
// with its last holder. A temporary node holds its real folder the same way.

#include "vfs/diskEntry.h"

#include <QExplicitlySharedDataPointer>
#include <QList>
#include <QSharedData>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <initializer_list>

class Tfile;
class Tvfs;
struct TvfsSettings;
class TconnView;

using TfilePtr = QExplicitlySharedDataPointer<Tfile>;

// Bit numbers are stored in saved tree files: never renumber.
enum TfileAttribute : int {
    FA_FOLDER = 0,
    FA_VIRTUAL = 1,
    FA_ROOT = 2,
    FA_BROWSABLE = 3,
    FA_HIDDEN = 4,
    FA_NO_MORE_USED1 = 5,
    FA_NO_MORE_USED2 = 6,
    FA_TEMP = 7,
    FA_HIDDENTREE = 8,
    FA_LINK = 9,
    FA_UNIT = 10,
    FA_VIS_ONLY_ANON = 11,
    FA_DL_FORBIDDEN = 12,
    FA_HIDE_EMPTY_FOLDERS = 13,
    FA_DONT_COUNT_AS_DL = 14,
    FA_SOLVED_LNK = 15,
    FA_HIDE_EXT = 16,
    FA_DONT_LOG = 17,
    FA_ARCHIVABLE = 18,
};

// The set of attributes as one 32-bit word (bit n = member n).
class TfileAttributes {
public:
    constexpr TfileAttributes() = default;
    constexpr TfileAttributes(std::initializer_list<TfileAttribute> atts)
    {
        for (TfileAttribute a : atts)
            bits_ |= bit(a);
    }
    static constexpr TfileAttributes fromWord(quint32 word)
    {
        TfileAttributes r;
        r.bits_ = word;
        return r;
    }
    constexpr quint32 toWord() const { return bits_; }

    constexpr bool has(TfileAttribute a) const { return bits_ & bit(a); }
    constexpr bool hasAll(TfileAttributes s) const { return (bits_ & s.bits_) == s.bits_; }
    constexpr bool hasAny(TfileAttributes s) const { return bits_ & s.bits_; }
    constexpr bool isEmpty() const { return bits_ == 0; }
    constexpr void set(TfileAttribute a, bool on = true)
    {
        if (on)
            bits_ |= bit(a);
        else
            bits_ &= ~bit(a);
    }
    constexpr void clear(TfileAttribute a) { set(a, false); }

    constexpr TfileAttributes operator|(TfileAttributes o) const { return fromWord(bits_ | o.bits_); }
    constexpr TfileAttributes &operator|=(TfileAttributes o)
    {
        bits_ |= o.bits_;
        return *this;
    }
    friend constexpr bool operator==(TfileAttributes, TfileAttributes) = default;

private:
    static constexpr quint32 bit(TfileAttribute a) { return quint32(1) << int(a); }
    quint32 bits_ = 0;
};

// Index of the three permission lists of a node.
enum TfileAction : int {
    FA_ACCESS = 0,
    FA_DELETE = 1,
    FA_UPLOAD = 2,
};
constexpr int FA_ACTION_COUNT = 3;

enum TfileCallbackFlag : int {
    FCB_NO_DEEPER = 1,
    FCB_DELETE = 2,
    FCB_RECALL_AFTER_CHILDREN = 4,
};
using TfileCallbackReturn = int; // an OR of TfileCallbackFlag
// Called before a node's children (childrenDone false) and, when asked with
// FCB_RECALL_AFTER_CHILDREN, after them (childrenDone true).
using TfileCallback = std::function<TfileCallbackReturn(Tfile &f, bool childrenDone)>;

class Tfile : public QSharedData {
public:
    // Construction: every node starts unattached; Tvfs::add puts it in a tree.
    static TfilePtr create(const QString &fullpath);
    // A temporary node for a disk item below the real folder `folder` (for a
    // temporary folder, the real folder of the tree it stands for).
    static TfilePtr createTemp(const QString &fullpath, const Tfile *folder = nullptr);
    // The same when the caller has just stat'ed `fullpath` itself.
    static TfilePtr createTemp(const QString &fullpath, const Tfile *folder, const DiskEntryInfo &seen);
    // The same for the entry `name` of the folder whose path, ending with
    // "/", is `base`: the node's name is `name` itself, not cut out of the path.
    // `name` is read from the folder, so it holds no "/".
    static TfilePtr createTempEntry(const QString &base, const QString &name, const Tfile *folder,
                                    const DiskEntryInfo &seen);
    static TfilePtr createVirtualFolder(const QString &name);
    static TfilePtr createLink(const QString &name);

    ~Tfile();
    Tfile(const Tfile &) = delete;
    Tfile &operator=(const Tfile &) = delete;

    // ---- fields (declaration order of the node record) ----
    bool locked = false;
    int ownDownloads = 0;
    QString name;
    QString comment;
    QString user, pwd;
    QString lnk;
    QString resource; // disk path, a link's URL, or empty; never ends with "/"
    TfileAttributes flags;
    qint64 size = -1;
    double atime = 0; // day counts since 1899-12-30, local time
    double mtime = 0;
    int icon = -1;
    std::array<QStringList, FA_ACTION_COUNT> accounts;
    QString filesFilter, foldersFilter;
    QString realm;
    QString diffTpl;
    QString defaultFileMask;
    QString dontCountAsDownloadMask;
    QString uploadFilterMask;
    // Published for the current run only (named on the program's own command
    // line): tree files leave it out, so that a later run that does not name
    // it does not publish it again.
    bool runOnly = false;

    // ---- identity and kind ----
    bool isRoot() const { return flags.has(FA_ROOT); }
    bool isFolder() const { return flags.has(FA_FOLDER); }
    bool isLink() const { return flags.has(FA_LINK); }
    bool isTemp() const { return flags.has(FA_TEMP); }
    bool isFile() const { return !flags.has(FA_FOLDER) && !flags.has(FA_LINK); }
    bool isFileOrFolder() const { return !isLink(); }
    bool isRealFolder() const { return flags.has(FA_FOLDER) && !flags.has(FA_VIRTUAL); }
    bool isVirtualFolder() const { return flags.has(FA_FOLDER) && flags.has(FA_VIRTUAL); }
    // This node, or one with the identical non-empty resource.
    bool same(const Tfile *f) const;
    // Flips one attribute; returns its new state.
    bool toggle(TfileAttribute att);

    // ---- names and resource ----
    // Sets the name and restores the order among the siblings.
    void setName(const QString &newName);
    // Sets the resource (disk path) and derives the name from it.
    void setResource(QString res);

    // ---- tree ----
    // The folder above; for a temporary node the real folder of the tree
    // below which it was found. Null for the root and for detached nodes.
    Tfile *parent() const;
    const QList<TfilePtr> &children() const { return children_; }
    // The tree this node belongs to (through its real folder for a temporary
    // node); null when not attached.
    Tvfs *vfs() const;
    // The settings of that tree; the defaults for a detached node.
    const TvfsSettings &vfsSettings() const;
    // Whether the node hangs (directly, or through its real folder for a
    // temporary node) below a tree's root.
    bool isInTree() const;
    void recursiveApply(const TfileCallback &callback);

    // ---- inherited settings ----
    QString getRecursiveFileMask() const;
    void getFiltersRecursively(QString &files, QString &folders) const;
    bool shouldCountAsDownload() const;
    QString getShownRealm() const;
    bool hasRecursive(TfileAttributes attributes, bool orInsteadOfAnd = false,
                      bool *outInherited = nullptr) const;
    bool hasRecursive(TfileAttribute attribute, bool *outInherited = nullptr) const;

    // ---- counters and flags ----
    int downloadCount() const;
    void setDownloadCount(int count);
    // One more download (a temporary node's count is kept by its disk path);
    // the count stops at the largest int.
    void countDownload();
    bool isDLforbidden() const;
    bool isNew() const;
    void lock() { locked = true; }
    void unlock() { locked = false; }
    // This node, one above or one below it is locked.
    bool isLocked() const;

    // What one look at the disk said of a temporary node when it was made
    // (a request makes its own, so this is as fresh as the request); kind
    // None for other nodes.
    const DiskEntryInfo &seenOnDisk() const { return seen_; }

    // ---- other ----
    // The node to serve instead of this folder's page: a tree child or a new
    // temporary node for a disk entry. Null when there is none.
    TfilePtr getDefaultFile() const;
    // The image index pages show for the node: its own icon, else (for a
    // file) the first matching icon mask, else the platform's icon; -1 when
    // none applies.
    int getSystemIcon() const;
    // Bytes available on the volume of the resource; 0 for virtual nodes,
    // -1 when unknown.
    qint64 diskfree() const;

    // ---- URLs (fileUrl.cpp) ----
    // A node no longer in the tree (removed while held) gets its URL from
    // what is left above it; test isInTree() where that matters.
    QString url(bool fullEncode = false) const;
    QString relativeURL(bool fullEncode = false) const;
    // Appends relativeURL(fullEncode) to `out`, in the room it has.
    void appendRelativeURL(QString &out, bool fullEncode = false) const;
    QString pathTill(const Tfile *root = nullptr, QChar delim = u'/') const;
    QString parentURL() const;
    QString getFolder() const;
    QString fullURL(const QString &ip = QString()) const;
    QString fullURL(const QString &ip, const QString &user, const QString &pwd) const;

    // ---- permissions (fileAccess.cpp) ----
    bool accessFor(const QString &username, const QString &password) const;
    bool accessFor(const TconnView *cd) const;
    QStringList getAccountsFor(TfileAction action, bool specialUsernames,
                               bool *outInherited = nullptr) const;

private:
    friend class Tvfs;
    Tfile(); // nodes live in TfilePtr only: use the create functions
    static TfilePtr createFor(const QString &fullpath, DiskEntryInfo &seen);
    static TfilePtr createSeen(const QString &fullpath, const DiskEntryInfo &seen,
                               const QString *lastComponent = nullptr);
    // setResource, with the last component of `res` given when it is known.
    void setResourceNamed(QString res, const QString *lastComponent);
    // Marks a new node temporary, below `folder`, with what was seen on disk.
    void becomeTemp(const Tfile *folder, const DiskEntryInfo &seen);
    void setVfsRecursively(Tvfs *v);

    Tfile *parent_ = nullptr;  // owner in the tree; cleared when it goes away
    QList<TfilePtr> children_; // kept in tree order
    TfilePtr tempFolder_;      // a temporary node's real folder (kept alive)
    Tvfs *vfs_ = nullptr;      // set while in a tree
    DiskEntryInfo seen_;       // temporary nodes: the disk when made
};

// Releases a holder's reference to a temporary node; tree nodes are left
// alone. Returns whether it released one.
bool freeIfTemp(TfilePtr &f);
