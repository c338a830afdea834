#pragma once
// The body of the reply being sent: a file (sent with sendfile), bytes in
// memory, or a device the application handed over.

#include "util/fileRegion.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <memory>

class ThttpBody
{
public:
    enum Kind { BK_NONE, BK_FILE, BK_BYTES, BK_DEVICE };

    ThttpBody() = default;
    ~ThttpBody() { close(); }
    ThttpBody(const ThttpBody &) = delete;
    ThttpBody &operator=(const ThttpBody &) = delete;

    // Only regular files are opened: never a FIFO, socket or device.
    bool openFile(const QString &path);
    void setBytes(const QByteArray &bytes);
    // A null device leaves no body.
    bool setDevice(std::unique_ptr<QIODevice> dev);
    void close();

    Kind kind() const { return k; }
    bool isOpen() const { return k != BK_NONE; }
    qint64 size() const { return sz; }
    qint64 pos() const { return position; }
    bool seek(qint64 p);
    void advance(qint64 n) { position += n; }
    int fileDescriptor() const { return fd; }
    // A device body that can point at its bytes in files; null otherwise.
    TfileRegionSource *fileRegions() const { return regions; }
    const QByteArray &bytes() const { return data; }
    // Reads at the current position and advances; fewer bytes than asked
    // means the source ended early.
    qint64 read(char *dst, qint64 max);

private:
    Kind k = BK_NONE;
    int fd = -1;
    QByteArray data;
    std::unique_ptr<QIODevice> dev;
    TfileRegionSource *regions = nullptr;
    qint64 sz = 0;
    qint64 position = 0;
};
