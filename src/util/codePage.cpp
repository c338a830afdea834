#include "util/codePage.h"


#include <QHash>

namespace {

// Windows-1252, bytes 0x80-0x9F; the five unassigned bytes map to the C1
// controls of the same value so that every byte survives a round trip.
constexpr char16_t high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

inline char16_t byteToUnit(uchar b)
{
    return (b >= 0x80 && b < 0xA0) ? high[b - 0x80] : char16_t(b);
}

} // namespace

QString codePageToText(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        d[i] = QChar(byteToUnit(uchar(bytes[i])));
    return out;
}

QByteArray textToCodePage(QStringView text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        char b = '?';
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            b = char(u);
        } else {
            for (int j = 0; j < 32; ++j)
                if (high[j] == u) {
                    b = char(0x80 + j);
                    break;
                }
        }
        out[i] = b;
    }
    return out;
}
