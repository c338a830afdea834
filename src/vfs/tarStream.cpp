#include "vfs/tarStream.h"

#include "util/oemCodePage.h"

#include <cstring>

namespace {

constexpr qint64 blockSize = 512;
constexpr qint64 shortNameMax = 99; // bytes of a name that fit in the header

qint64 padTo512(qint64 pos)
{
    return (blockSize - pos % blockSize) % blockSize;
}

// A numeric field: octal digits zero-filled on the left and a NUL. A value
// that does not fit (sizes of 8 GiB and more, times out of range) takes the
// base-256 form that GNU tar and libarchive read: the first byte has its top
// bit set and the field is a big-endian two's-complement number.
void putNumber(char *field, int width, qint64 value)
{
    const int digits = width - 1;
    if (value >= 0 && (digits >= 21 || value < (qint64(1) << (3 * digits)))) {
        for (int i = digits - 1; i >= 0; --i) {
            field[i] = char('0' + (value & 7));
            value >>= 3;
        }
        field[digits] = '\0';
        return;
    }
    const char fill = value < 0 ? char(0xFF) : '\0';
    std::memset(field, fill, size_t(width));
    for (int i = width - 1; i >= width - 8; --i) {
        field[i] = char(value & 0xFF);
        value >>= 8; // arithmetic: a negative value keeps its sign bits
    }
    field[0] = char(uchar(field[0]) | 0x80);
}

// One ustar header block.
QByteArray headerBlock(QByteArrayView name, qint64 size, qint64 mtime, char type)
{
    QByteArray b(blockSize, '\0');
    char *h = b.data();
    std::memcpy(h, name.data(), size_t(std::min<qint64>(name.size(), shortNameMax)));
    std::memcpy(h + 100, "0100777", 8);
    std::memcpy(h + 108, "0000000", 8);
    std::memcpy(h + 116, "0000000", 8);
    putNumber(h + 124, 12, size);
    putNumber(h + 136, 12, mtime);
    h[156] = type;
    std::memcpy(h + 257, "ustar", 6);
    std::memcpy(h + 263, "00", 2);
    // The checksum counts its own field as eight spaces.
    std::memset(h + 148, ' ', 8);
    unsigned sum = 0;
    for (const char c : b)
        sum += uchar(c);
    putNumber(h + 148, 7, sum);
    h[155] = ' ';
    return b;
}

} // namespace

QByteArray TtarStream::encodedName(const QString &dst) const
{
    return fileNamesOEM ? textToOEM(dst) : dst.toUtf8();
}

qint64 TtarStream::headerSize(qint64 nameBytes)
{
    if (nameBytes <= shortNameMax)
        return blockSize;
    // Long-name header, the name and its NUL in whole blocks, the header.
    return (nameBytes / blockSize + 3) * blockSize;
}

void TtarStream::layOut()
{
    QList<TarchiveEntry> &list = entries();
    for (int i = 0; i < list.size(); ++i) {
        TarchiveEntry &e = list[i];
        e.firstByte = addSegment(SEG_HEADER, i, headerSize(encodedName(e.dst).size()));
        addSegment(SEG_DATA, i, e.size);
        addSegment(SEG_PAD, i, padTo512(layoutEnd()));
    }
    addSegment(SEG_END, -1, 2 * blockSize);
}

QByteArray TtarStream::segmentBytes(quint8 kind, int entry)
{
    if (kind != SEG_HEADER) {
        const qint64 len = kind == SEG_END ? 2 * blockSize : padTo512(entries()[entry].size);
        return QByteArray(len, '\0');
    }
    const TarchiveEntry &e = entries()[entry];
    const QByteArray name = encodedName(e.dst);
    QByteArray out;
    if (name.size() > shortNameMax) {
        out = headerBlock("././@LongLink", name.size() + 1, e.mtime, 'L');
        out += name;
        out += QByteArray(1 + padTo512(name.size() + 1), '\0');
    }
    out += headerBlock(name, e.size, e.mtime, '0');
    return out;
}
