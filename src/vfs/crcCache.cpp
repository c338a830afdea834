#include "vfs/crcCache.h"

#include <zlib.h>
#ifdef ZOF_HAVE_ISAL
#include <isa-l/crc.h>
#endif

#include <algorithm>

size_t qHash(const TcrcKey &key, size_t seed)
{
    return qHashMulti(seed, key.path, key.size, key.mtimeNs, key.inode, key.device);
}

TcrcCache::TcrcCache(int capacity)
    : cap(std::max(1, capacity))
{
}

std::optional<quint32> TcrcCache::find(const TcrcKey &key) const
{
    const auto it = map.constFind(key);
    if (it == map.cend())
        return std::nullopt;
    return *it;
}

void TcrcCache::insert(const TcrcKey &key, quint32 crc)
{
    auto it = map.find(key);
    if (it != map.end()) {
        *it = crc;
        return;
    }
    map.insert(key, crc);
    order.push_back(key);
    while (int(order.size()) > cap) {
        map.remove(order.front());
        order.pop_front();
    }
}

void TcrcCache::clear()
{
    map.clear();
    order.clear();
}

TcrcCache &crcCache()
{
    static TcrcCache cache;
    return cache;
}

quint32 crcUpdate(quint32 crc, const char *data, qint64 len)
{
    // Both take lengths as unsigned int.
    while (len > 0) {
        const unsigned n = unsigned(std::min<qint64>(len, 1 << 30));
#ifdef ZOF_HAVE_ISAL
        crc = crc32_gzip_refl(crc, reinterpret_cast<const unsigned char *>(data), n);
#else
        crc = quint32(crc32(crc, reinterpret_cast<const Bytef *>(data), n));
#endif
        data += n;
        len -= n;
    }
    return crc;
}

quint32 crcAppendZeros(quint32 crc, qint64 len)
{
    static const char zeros[65536] = {};
    if (len <= qint64(sizeof zeros))
        return crcUpdate(crc, zeros, len);
    // The CRC of a run of zeros doubles in length at each step; the runs
    // whose lengths make up `len` are combined onto the CRC so far.
    quint32 run = crcUpdate(0, zeros, sizeof zeros);
    qint64 runLen = sizeof zeros;
    crc = crcUpdate(crc, zeros, len % runLen);
    for (qint64 q = len / qint64(sizeof zeros); q; q >>= 1) {
        if (q & 1)
            crc = quint32(crc32_combine(crc, run, z_off_t(runLen)));
        run = quint32(crc32_combine(run, run, z_off_t(runLen)));
        runLen *= 2;
    }
    return crc;
}
