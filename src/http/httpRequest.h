#pragma once
// The request head and its parsing. The parser is lenient: what it cannot
// use stays empty or at its reset value; the application decides.

#include "util/nameValueList.h"

#include <QByteArray>
#include <QString>

struct ThttpPost;

enum ThttpMethod { HM_UNK, HM_GET, HM_POST, HM_HEAD };

struct ThttpRequest
{
    QByteArray full;          // the head as received, without the blank line
    ThttpMethod method = HM_UNK;
    QByteArray url;           // the target as sent, query included
    QByteArray ver;           // "1.1", "1.0"; empty without a version
    qint64 firstByte = -1;    // Range; -1 when absent
    qint64 lastByte = -1;
    TnameValueBytes headers{':', "\r\n"};
    QString user, pwd;        // Basic credentials

    void reset();

    // Header value, trimmed; empty for every name when the method is unknown.
    QString getHeader(QByteArrayView name) const;
    QString getHeader(const char *name) const { return getHeader(QByteArrayView(name)); }
    QString getHeader(const QByteArray &name) const { return getHeader(QByteArrayView(name)); }
    QString getHeader(const QString &name) const { return getHeader(QByteArrayView(name.toLatin1())); }
    QByteArray getHeaderA(QByteArrayView name) const;
    QByteArray getHeaderA(const char *name) const { return getHeaderA(QByteArrayView(name)); }
    QByteArray getHeaderA(const QByteArray &name) const { return getHeaderA(QByteArrayView(name)); }
    QByteArray getHeaderA(const QString &name) const { return getHeaderA(QByteArrayView(name.toLatin1())); }
    QString getCookie(const QString &name) const;
};

// Limits of the head.
constexpr qsizetype maxHeadSize = 65536;

// Where the head in buf ends: the position of its terminator (the line end
// of its last line and the empty line after it) and the terminator's length,
// or -1. Lines end in CR LF or a bare LF; CR CR also ends a head.
qsizetype findHeadEnd(QByteArrayView buf, int *termLen);

// The boundary parameter of a multipart content type: a token, or a quoted
// string whose backslashes escape the next byte. Empty when absent.
QByteArray multipartBoundary(QByteArrayView contentType);

// How the body of a request is framed by its Transfer-Encoding.
enum ThttpTransferCoding {
    TC_NONE,      // no Transfer-Encoding: Content-Length, if any, tells
    TC_CHUNKED,   // chunked, and nothing else
    TC_UNKNOWN,   // a coding this server does not decode
    TC_INVALID,   // chunked is not the last coding, or no coding at all
};

struct ThttpHeadInfo
{
    bool persistent = false;
    bool contentLengthGiven = false;
    // Content-Length given more than once with different values: where the
    // body ends is ambiguous (a way to smuggle a request past a proxy).
    bool conflictingLengths = false;
    ThttpTransferCoding transferCoding = TC_NONE;
};

// Parses req.full into req and the POST fields of post. Returns false when
// the head is rejected (no method token).
bool parseRequestHead(ThttpRequest &req, ThttpPost &post, bool allowPersistent, ThttpHeadInfo *info);
