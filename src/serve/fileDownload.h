#pragma once
// Downloads of files: content types, conditional requests, the name the
// client saves under, and the bookkeeping when a transfer completes.

#include <QByteArray>
#include <QString>
#include <QStringList>

class TconnData;
class Tfile;

// The content type for a file name: the user's pairs (mask, type, mask,
// type...) first, then the built-in table, else "application/octet-stream".
QString contentTypeFor(const QString &name, const QStringList &userPairs);

// The entity tag of a disk file: MD5 of "size:mtime:path", the time being
// the UTC day count of its last write (so clock changes do not alter it).
QString entityTag(qint64 size, double mtimeUTC, const QString &path);
QString entityTagOf(const QString &path);

// A file name encoded for Content-Disposition: UTF-8, with bytes 0-32,
// 128-255 and " # % & ' , : ; < > ? as "%XX".
QByteArray encodeDispositionName(const QString &name);
// The whole value: "attachment; " unless inline, then
// "filename*=UTF-8''NAME; filename=NAME".
QByteArray contentDisposition(const QString &name, bool inlineOpen);

// Whether `tag` matches the request's If-None-Match (trimmed, exact; a
// quoted value is compared without its quotes).
bool ifNoneMatch(const QString &header, const QString &tag);

// The last dispatch step for a file node: fills the reply.
void serveFile(TconnData &cd, Tfile &node);
// On SE_REQUEST_COMPLETED of a file or archive transfer.
void downloadCompleted(TconnData &cd);
