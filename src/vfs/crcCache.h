#pragma once
// CRC-32 of whole files, remembered across archive requests so that a zip
// archive of files already sent once needs no second read of them.

#include <QHash>
#include <QString>

#include <deque>
#include <optional>

// Identifies one version of a file's content.
struct TcrcKey {
    QString path;
    qint64 size = 0;
    qint64 mtimeNs = 0; // nanoseconds since 1970-01-01 UTC
    quint64 inode = 0;
    quint64 device = 0;

    bool operator==(const TcrcKey &) const = default;
};
size_t qHash(const TcrcKey &key, size_t seed = 0);

// Bounded: past its capacity the oldest entries go first.
class TcrcCache {
public:
    explicit TcrcCache(int capacity = 100000);

    std::optional<quint32> find(const TcrcKey &key) const;
    void insert(const TcrcKey &key, quint32 crc);
    void clear();
    int count() const { return int(map.size()); }
    int capacity() const { return cap; }

private:
    QHash<TcrcKey, quint32> map;
    std::deque<TcrcKey> order; // insertion order, for eviction
    int cap;
};

// The one cache of the process.
TcrcCache &crcCache();

// CRC-32 (zip, gzip) arithmetic. Start from 0.
quint32 crcUpdate(quint32 crc, const char *data, qint64 len);
// As if `len` zero bytes were appended: holes of sparse files and the zeros
// that stand in for missing bytes cost no reading.
quint32 crcAppendZeros(quint32 crc, qint64 len);
