#include "vfs/vfsFormatIcons.h"

namespace {
std::unique_ptr<TvfsIcons> &slot()
{
    static std::unique_ptr<TvfsIcons> s = std::make_unique<TvfsIcons>();
    return s;
}
} // namespace

int TvfsIcons::indexOf(const QByteArray &bytes)
{
    const qsizetype i = images_.indexOf(bytes);
    if (i >= 0)
        return firstCustomIndex + int(i);
    images_.append(bytes);
    return firstCustomIndex + int(images_.size() - 1);
}

QByteArray TvfsIcons::bytesOf(int index) const
{
    const qsizetype i = qsizetype(index) - firstCustomIndex;
    return i >= 0 && i < images_.size() ? images_.at(i) : QByteArray();
}

TvfsIcons &TvfsIcons::current()
{
    return *slot();
}

void TvfsIcons::setCurrent(std::unique_ptr<TvfsIcons> store)
{
    slot() = store ? std::move(store) : std::make_unique<TvfsIcons>();
}
