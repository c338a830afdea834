#pragma once
// A tar archive (ustar headers, long names as "././@LongLink" entries)
// produced on the fly. Each file: its header blocks, its bytes, zeros up to
// the next 512-byte boundary; two zero blocks end the archive.

#include "vfs/archiveStream.h"

class TtarStream : public TarchiveStream {
public:
    // Names in code page 437 instead of UTF-8, for old desktop archivers.
    bool fileNamesOEM = false;

    // The name's bytes as the archive holds them.
    QByteArray encodedName(const QString &dst) const;
    // Bytes before an entry's data: the header block, preceded for a name of
    // 100 bytes or more by the long-name header and the name's blocks.
    static qint64 headerSize(qint64 nameBytes);

protected:
    void layOut() override;
    QByteArray segmentBytes(quint8 kind, int entry) override;

private:
    enum : quint8 { SEG_HEADER = 1, SEG_PAD, SEG_END };
};
