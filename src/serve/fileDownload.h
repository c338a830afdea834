#pragma once
// Downloads of files: content types, conditional requests, the name the
// client saves under, and the bookkeeping when a transfer completes.

#include <QByteArray>
#include <QString>
#include <QStringList>

class TconnData;
class Tfile;
struct DiskEntryInfo;

// The content type for a file name: the user's pairs (mask, type, mask,
// type...) first, then the built-in table, else "application/octet-stream".
QString contentTypeFor(const QString &name, const QStringList &userPairs);

// The entity tag of a disk file: MD5 of "size:mtime:path", the time being
// the UTC day count of its last write (so clock changes do not alter it).
QString entityTag(qint64 size, double mtimeUTC, const QString &path);
QString entityTagOf(const QString &path);
// The same from what one stat of `path` said.
QString entityTagOf(const QString &path, const DiskEntryInfo &info);

// The HTTP date (IMF-fixdate) of a time in milliseconds since 1970 UTC.
QByteArray httpDateOf(qint64 msSinceEpoch);

// A file name encoded for Content-Disposition: UTF-8, with bytes 0-32,
// 128-255 and " # % & ' , : ; < > ? as "%XX".
QByteArray encodeDispositionName(const QString &name);
// The whole value: "attachment; " unless inline, then
// "filename*=UTF-8''NAME; filename=NAME".
QByteArray contentDisposition(const QString &name, bool inlineOpen);

// Whether `tag` matches the request's If-None-Match (trimmed, exact; a
// quoted value is compared without its quotes).
bool ifNoneMatch(const QString &header, const QString &tag);

// The last dispatch step for a file node: fills the reply. `disk` is what
// this request already saw of the node's resource on disk.
void serveFile(TconnData &cd, Tfile &node);
void serveFile(TconnData &cd, Tfile &node, const DiskEntryInfo &disk);
// On SE_REQUEST_COMPLETED of a file or archive transfer.
void downloadCompleted(TconnData &cd);
