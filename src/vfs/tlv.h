#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// Ttlv reads a sequence of type-length-value records: a 32-bit little-endian
// type, a 32-bit little-endian length, then that many bytes of value.
// Nested values are read by entering them with down() and leaving with up();
// regions are positions inside one shared buffer, so nothing is copied until
// a value is asked for.
//
// The reader never trusts the data: a record whose length runs past its
// region, or nesting deeper than maxDepth, ends the region and sets
// isCorrupted(); nothing is read out of bounds.
//
// The static helpers build records for writing.
class Ttlv {
public:
    // Added to the type of a text record whose value is UTF-8 with non-ASCII content.
    static constexpr quint32 utf8Flag = 0x1000000;
    static constexpr int headerSize = 8;
    static constexpr int maxDepth = 512;

    void parse(const QByteArray &data);

    // The next record's type (the text flag removed), or -1 when the region
    // is over. The value is remembered as the last record read.
    int pop();
    // As pop(), also giving the value as text and as bytes.
    int pop(QString &value, QByteArray &raw);

    // Enters the value of the record just read as a region. False when
    // nothing was read yet, or when the nesting limit is reached (which also
    // marks the data as corrupted).
    bool down();
    // Returns to the enclosing region, after the record that was entered.
    bool up();

    bool isOver() const { return bound - cur < headerSize; }
    qint64 getTotal() const { return whole.size(); }
    qint64 getCursor() const { return cur; }
    double getPerc() const;
    QByteArray getTheRest() const;
    int depth() const { return int(stack.size()); }

    // The last record's value.
    QByteArray lastRaw() const;
    qint64 lastSize() const { return lastLen; }
    bool lastIsUtf8() const { return lastUtf8; }
    // The last value decoded as text: UTF-8 when the record carried the text
    // flag, else the single-byte code page (files written by this program
    // hold only ASCII there).
    QString lastText() const;
    // The last value as a little-endian integer; false when it is shorter.
    bool lastInt(qint32 &out) const;
    bool lastDouble(double &out) const;

    // Set when a record overran its region or the nesting was too deep.
    bool isCorrupted() const { return corrupted; }

    // Writing.
    static QByteArray record(quint32 type, const QByteArray &value);
    static QByteArray textRecord(quint32 type, const QString &text);
    static QByteArray intRecord(quint32 type, qint32 value);
    static QByteArray doubleRecord(quint32 type, double value);
    static void putU32(QByteArray &out, quint32 v);
    static quint32 getU32(const char *p);

private:
    struct Region {
        qint64 cur;
        qint64 bound;
    };
    QByteArray whole;
    qint64 cur = 0;    // 0-based position of the next record
    qint64 bound = 0;  // end (exclusive) of the current region
    qint64 lastPos = -1;
    qint64 lastLen = 0;
    bool lastUtf8 = false;
    bool corrupted = false;
    QList<Region> stack;
};
