#include "http/headBuffers.h"

#include <vector>

namespace headBuffers {

namespace {

// Enough for the replies of one pass over the ready connections; a head
// that needed more than a few KiB is let go.
constexpr size_t maxKept = 256;
constexpr qsizetype maxRoom = 4096;

std::vector<QByteArray> &kept()
{
    static std::vector<QByteArray> buffers;
    return buffers;
}

} // namespace

QByteArray take(qsizetype room)
{
    std::vector<QByteArray> &k = kept();
    QByteArray b;
    if (!k.empty()) {
        b = std::move(k.back());
        k.pop_back();
    }
    b.reserve(room);
    return b;
}

void giveBack(QByteArray &buffer)
{
    std::vector<QByteArray> &k = kept();
    if (buffer.isDetached() && buffer.capacity() <= maxRoom && k.size() < maxKept) {
        buffer.resize(0);
        k.push_back(std::move(buffer));
    }
    buffer = QByteArray();
}

} // namespace headBuffers
