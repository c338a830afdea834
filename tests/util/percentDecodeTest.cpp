// Percent decoding against a byte-by-byte model, and the decoded text of
// plain and escaped URLs.

#include "util/encodings.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The rule spelled out one byte at a time: "%XY" is a byte; a '%' without
// two hex digits becomes '_' (the digits are read normally), except within
// the last two bytes, where it stays.
QByteArray modelDecode(const QByteArray &in)
{
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '%' || i + 2 >= in.size()) {
            out += in[i];
        } else if (hexDigit(in[i + 1]) < 0 || hexDigit(in[i + 2]) < 0) {
            out += '_';
        } else {
            out += char(hexDigit(in[i + 1]) * 16 + hexDigit(in[i + 2]));
            i += 2;
        }
    }
    return out;
}

} // namespace

TEST(PercentDecode, AgreesWithTheModelOnRandomInput)
{
    QRandomGenerator rng(4242);
    const QByteArray alphabet("%%%0aFz/.\x80\xc3\xa9 ");
    for (int round = 0; round < 20000; ++round) {
        QByteArray in;
        const int len = int(rng.bounded(14));
        for (int i = 0; i < len; ++i)
            in += alphabet[int(rng.bounded(int(alphabet.size())))];
        ASSERT_EQ(percentDecode(in), modelDecode(in)) << in.toPercentEncoding().toStdString();
        // The text is the decoded bytes read as UTF-8 when they are valid.
        const QByteArray raw = modelDecode(in);
        if (isUTF8(raw)) {
            ASSERT_EQ(decodeURL(QByteArrayView(in)), QString::fromUtf8(raw)) << in.toPercentEncoding().toStdString();
        }
    }
}

TEST(PercentDecode, PlainAndEscapedPaths)
{
    const struct
    {
        const char *in;
        const char16_t *text;
    } cases[] = {
        {"/pub/1k.bin", u"/pub/1k.bin"},
        {"/a%20b/c", u"/a b/c"},
        {"/%2e%2E/x", u"/../x"},
        {"%", u"%"},
        {"ab%", u"ab%"},
        {"a%4", u"a%4"},
        {"%zz%41", u"_zzA"},
        {"/caf%C3%A9", u"/caf\u00e9"},
        {"/x?y=1&z", u"/x?y=1&z"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(decodeURL(QByteArrayView(c.in)), QString::fromUtf16(c.text)) << c.in;
    EXPECT_TRUE(decodeURL(QByteArrayView("")).isEmpty());
    EXPECT_TRUE(percentDecode("").isEmpty());
}
