#include "vfs/tlv.h"

#include "util/codePage.h"

#include <cstring>

quint32 Ttlv::getU32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

void Ttlv::putU32(QByteArray &out, quint32 v)
{
    const char b[4] = {char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
    out.append(b, 4);
}

void Ttlv::parse(const QByteArray &data)
{
    whole = data;
    cur = 0;
    bound = whole.size();
    lastPos = -1;
    lastLen = 0;
    lastUtf8 = false;
    corrupted = false;
    stack.clear();
}

int Ttlv::pop()
{
    if (isOver()) {
        // Leftover bytes too short for a header are damage, not padding.
        if (bound > cur)
            corrupted = true;
        cur = bound;
        return -1;
    }
    const char *p = whole.constData() + cur;
    quint32 type = getU32(p);
    const quint32 len = getU32(p + 4);
    if (qint64(len) > bound - cur - headerSize) {
        corrupted = true;
        cur = bound;
        return -1;
    }
    lastUtf8 = (type & utf8Flag) != 0;
    type &= ~utf8Flag;
    lastPos = cur + headerSize;
    lastLen = len;
    cur = lastPos + len;
    // Types are small numbers; anything that does not fit an int is simply unknown.
    return type > 0x7FFFFFFF ? 0x7FFFFFFF : int(type);
}

int Ttlv::pop(QString &value, QByteArray &raw)
{
    const int t = pop();
    if (t < 0) {
        value.clear();
        raw.clear();
        return t;
    }
    raw = lastRaw();
    value = lastText();
    return t;
}

bool Ttlv::down()
{
    if (lastPos < 0)
        return false;
    if (stack.size() >= maxDepth) {
        corrupted = true;
        return false;
    }
    stack.append({cur, bound});
    cur = lastPos;
    bound = lastPos + lastLen;
    lastPos = -1;
    return true;
}

bool Ttlv::up()
{
    if (stack.isEmpty())
        return false;
    const Region r = stack.takeLast();
    cur = r.cur;
    bound = r.bound;
    lastPos = -1;
    return true;
}

double Ttlv::getPerc() const
{
    return whole.isEmpty() ? 1.0 : double(cur) / double(whole.size());
}

QByteArray Ttlv::getTheRest() const
{
    return whole.mid(cur, bound - cur);
}

QByteArray Ttlv::lastRaw() const
{
    return lastPos < 0 ? QByteArray() : whole.mid(lastPos, lastLen);
}

QString Ttlv::lastText() const
{
    if (lastPos < 0)
        return {};
    const char *p = whole.constData() + lastPos;
    return lastUtf8 ? QString::fromUtf8(p, lastLen) : codePageToText(QByteArrayView(p, lastLen));
}

bool Ttlv::lastInt(qint32 &out) const
{
    if (lastPos < 0 || lastLen < 4)
        return false;
    out = qint32(getU32(whole.constData() + lastPos));
    return true;
}

bool Ttlv::lastDouble(double &out) const
{
    if (lastPos < 0 || lastLen < 8)
        return false;
    const char *p = whole.constData() + lastPos;
    const quint64 bits = quint64(getU32(p)) | quint64(getU32(p + 4)) << 32;
    std::memcpy(&out, &bits, sizeof out);
    return true;
}

QByteArray Ttlv::record(quint32 type, const QByteArray &value)
{
    QByteArray out;
    out.reserve(headerSize + value.size());
    putU32(out, type);
    putU32(out, quint32(value.size()));
    out.append(value);
    return out;
}

QByteArray Ttlv::textRecord(quint32 type, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    // Longer in UTF-8 than in UTF-16 units means some character is not ASCII.
    return record(utf8.size() > text.size() ? type | utf8Flag : type, utf8);
}

QByteArray Ttlv::intRecord(quint32 type, qint32 value)
{
    QByteArray v;
    putU32(v, quint32(value));
    return record(type, v);
}

QByteArray Ttlv::doubleRecord(quint32 type, double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray v;
    putU32(v, quint32(bits & 0xFFFFFFFFu));
    putU32(v, quint32(bits >> 32));
    return record(type, v);
}
