#include "http/httpBody.h"

#include "util/files.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstring>

bool ThttpBody::openFile(const QString &path)
{
    close();
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return false;
    // O_NONBLOCK so that a FIFO cannot block the open; it is refused below.
    const int f = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (f < 0)
        return false;
    struct stat st;
    if (fstat(f, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(f);
        return false;
    }
    fd = f;
    sz = st.st_size;
    position = 0;
    k = BK_FILE;
    return true;
}

void ThttpBody::setBytes(const QByteArray &bytes)
{
    close();
    data = bytes;
    sz = data.size();
    position = 0;
    k = BK_BYTES;
}

bool ThttpBody::setDevice(std::unique_ptr<QIODevice> d)
{
    close();
    if (!d)
        return true;
    if (!d->isOpen() && !d->open(QIODevice::ReadOnly))
        return false;
    dev = std::move(d);
    regions = dynamic_cast<TfileRegionSource *>(dev.get());
    sz = qMax<qint64>(0, dev->size());
    position = dev->pos();
    k = BK_DEVICE;
    return true;
}

void ThttpBody::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    data.clear();
    regions = nullptr;
    dev.reset();
    sz = position = 0;
    k = BK_NONE;
}

bool ThttpBody::seek(qint64 p)
{
    if (p < 0 || p > sz)
        return false;
    if (k == BK_DEVICE && !dev->seek(p))
        return false;
    position = p;
    return true;
}

qint64 ThttpBody::read(char *dst, qint64 max)
{
    max = qMin(max, sz - position);
    if (max <= 0)
        return 0;
    qint64 got = 0;
    switch (k) {
    case BK_FILE:
        got = readFileAt(fd, dst, max, position);
        break;
    case BK_BYTES:
        memcpy(dst, data.constData() + position, size_t(max));
        got = max;
        break;
    case BK_DEVICE:
        while (got < max) {
            const qint64 n = dev->read(dst + got, max - got);
            if (n <= 0)
                break;
            got += n;
        }
        break;
    case BK_NONE:
        break;
    }
    position += got;
    return got;
}
