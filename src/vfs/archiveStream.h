#pragma once
// An archive of disk files produced on the fly: a read-only, random-access
// device whose total size is known before the first byte, so a reply can
// announce its length and serve ranges. Nothing is written to disk; what it
// holds at any time is one open file and one generated block (a header,
// padding, a directory record).

#include "util/fileRegion.h"

#include <QIODevice>
#include <QList>
#include <QString>

#include <functional>

struct TarchiveEntry {
    QString src;          // path on disk
    QString dst;          // name inside the archive, "/" between folders
    qint64 firstByte = -1; // offset of the entry's first byte; -1 until laid out
    qint64 mtime = 0;     // seconds since 1970-01-01 UTC
    qint64 size = 0;      // as recorded by addFile
};

class TarchiveStream : public QIODevice, public TfileRegionSource {
public:
    ~TarchiveStream() override;

    // Adds a regular file (a symbolic link to a regular file is read
    // through, nothing else is opened). An empty dst stands for the last
    // component of src. dst is made safe: "\" becomes "/", and empty, "."
    // and ".." components are dropped (a leading "/" with them). False when
    // src cannot be opened or is not a regular file, or nothing is left of
    // dst.
    bool addFile(const QString &src, const QString &dst = QString());
    int count() const { return int(list.size()); }
    const QList<TarchiveEntry> &files() const { return list; }
    // Empties the list (QIODevice::reset() keeps its meaning: back to 0).
    void clear();
    // From the recorded sizes and names alone; no file is read.
    qint64 totalSize();

    // Called once per file that vanished, could not be opened or gave fewer
    // bytes than recorded; its missing bytes are sent as zeros so every
    // offset stays where totalSize put it.
    std::function<void(const QString &src)> onShortFile;

    bool open(OpenMode mode) override; // ReadOnly only
    void close() override;
    bool isSequential() const override { return false; }
    qint64 size() const override;
    bool seek(qint64 pos) override;

    // A file's data can go out straight from the file (sendfile), unless
    // the format must see the bytes.
    bool currentFileRegion(int &fd, qint64 &offset, qint64 &length) override;
    void regionSent(qint64 n) override;
    void regionShort() override;

protected:
    TarchiveStream();

    // Told of file data that went out straight from the entry's file
    // (`fd`, from `offset` in it), without passing through readData.
    virtual void regionProduced(int entry, int fd, qint64 offset, qint64 len);
    // Told when data that went out straight from the entry's file fell
    // short: the rest goes out as zeros.
    virtual void regionFellShort(int entry);

    // The archive as a list of segments, each either a file's data
    // (SEG_DATA) or bytes the format generates (kinds of its own).
    static constexpr quint8 SEG_DATA = 0;
    // Called when the list changed: adds every segment in archive order
    // with addSegment and sets each entry's firstByte.
    virtual void layOut() = 0;
    // The bytes of a generated segment, exactly as long as announced.
    virtual QByteArray segmentBytes(quint8 kind, int entry) = 0;
    // Told of every piece of file data produced, in any order.
    virtual void dataProduced(int entry, qint64 offset, const char *data, qint64 len);
    // Told when the list was emptied.
    virtual void cleared() {}

    // Appends a segment of `len` bytes (nothing when empty); returns its start.
    qint64 addSegment(quint8 kind, int entry, qint64 len);
    // Where the next segment would start.
    qint64 layoutEnd() const { return layoutPos; }
    // Names that the format cannot hold are refused by addFile.
    virtual bool acceptsName(const QString &name) const;
    QList<TarchiveEntry> &entries() { return list; }

    // The descriptor of an entry's file, opened on demand (one at a time);
    // -1 when it cannot be opened, which is reported as a short file.
    int entryFd(int entry);
    // Records that an entry gave fewer bytes than recorded (reported once).
    void shortFile(int entry);
    // `len` bytes of an entry's data from `offset`, zeros past what the file
    // gives.
    void readEntry(int entry, qint64 offset, char *dst, qint64 len);
    // Whether the entry's file still is what addFile recorded, content-wise
    // (size, modification time, inode), and read nothing short so far.
    bool entryUnchanged(int entry);
    // What identifies the recorded version of the entry's file.
    struct Tstamp {
        qint64 mtimeNs = 0;
        quint64 inode = 0;
        quint64 device = 0;
        bool wasShort = false;
    };
    const Tstamp &stamp(int entry) const { return stamps[entry]; }

    qint64 readData(char *data, qint64 maxlen) override;
    qint64 writeData(const char *data, qint64 len) override;

private:
    struct Tsegment {
        qint64 start;
        qint32 entry;
        quint8 kind;
    };
    void ensureLayout();
    void invalidate();
    int segmentAt(qint64 pos) const;
    void closeFile();

    QList<TarchiveEntry> list;
    QList<Tstamp> stamps;
    // Laid out on demand, again after the list changed.
    QList<Tsegment> segs;
    qint64 layoutPos = 0;
    qint64 total = -1; // -1: not laid out
    qint64 cursor = 0;
    int lastSeg = -1;    // segment read last, where the next read most likely goes on
    int blockSeg = -1;   // segment whose bytes `block` holds
    QByteArray block;
    int fd = -1;
    int fdEntry = -1;    // entry that fd belongs to (also when the open failed)
    int regionEntry = -1; // entry of the region handed out last
    qint64 regionStart = 0; // where that entry's data starts in the archive
};
