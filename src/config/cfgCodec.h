#pragma once
// Encodings of the structured option values (accounts, bans, icon masks,
// user images, column widths) and of packed binary data inside the text.
// Pure functions: they read and write only their arguments.
#include "config/ban.h"
#include "config/connColumn.h"
#include "config/iconMask.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

struct Taccount;

// Base64 of the data, zlib-compressed (level 3) first when that makes it
// shorter than 0.8 of its length.
QString packData(const QByteArray &data);
// The inverse: Base64-decoded, inflated when the bytes are a zlib stream that
// inflates completely, else used as they are.
QByteArray unpackData(const QString &text);

// zlib stream (RFC 1950) helpers. inflate fails on anything but one complete
// stream and on output above `maxSize`.
QByteArray zlibCompress(const QByteArray &data, int level);
bool zlibInflate(const QByteArray &data, QByteArray &out, qint64 maxSize = 64 << 20);

QString encodeAccounts(const QList<Taccount> &accounts);
QList<Taccount> decodeAccounts(const QString &value);

QString encodeBans(const QList<Tban> &bans);
QList<Tban> decodeBans(const QString &value);

QString encodeIconMasks(const QList<TiconMask> &masks);
QList<TiconMask> decodeIconMasks(const QString &value);

QString encodeUserImages(const QMap<int, QByteArray> &images);
QMap<int, QByteArray> decodeUserImages(const QString &value);

QString encodeConnColumns(const QList<TconnColumn> &columns);
// Sets the width of every known column named in `value`.
void decodeConnColumns(const QString &value, QList<TconnColumn> &columns);

// A text value on one line: CR and LF become spaces so that a value can
// never start a line of its own in the configuration text.
QString oneLine(QString s);

