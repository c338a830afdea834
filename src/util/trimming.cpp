#include "util/trimming.h"

namespace {

template<class View, class Pred>
View trimmedBy(View v, Pred drop)
{
    qsizetype b = 0, e = v.size();
    while (b < e && drop(v[b]))
        ++b;
    while (e > b && drop(v[e - 1]))
        --e;
    return v.sliced(b, e - b);
}

} // namespace

QStringView trimmedBlanks(QStringView text)
{
    return trimmedBy(text, [](QChar c) { return c == u' ' || c == u'\t'; });
}

QByteArrayView trimmedBlanks(QByteArrayView bytes)
{
    return trimmedBy(bytes, [](char c) { return c == ' ' || c == '\t'; });
}

QByteArrayView trimmedControls(QByteArrayView bytes)
{
    return trimmedBy(bytes, [](char c) { return uchar(c) <= 32; });
}
