#pragma once
// The reply the application fills during SE_REQUEST, and the operations on
// its header lines and cookies.

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QPair>
#include <QString>
#include <initializer_list>
#include <memory>

enum ThttpReplyMode {
    HRM_REPLY,
    HRM_REPLY_HEADER,
    HRM_DENY,
    HRM_UNAUTHORIZED,
    HRM_NOT_FOUND,
    HRM_BAD_REQUEST,
    HRM_INTERNAL_ERROR,
    HRM_CLOSE,
    HRM_IGNORE,
    HRM_METHOD_NOT_ALLOWED,
    HRM_REDIRECT,
    HRM_OVERLOAD,
    HRM_TOO_LARGE,
    HRM_MOVED,
    HRM_NOT_MODIFIED,
    HRM_NOT_IMPLEMENTED, // 501: the request needs something this server lacks
};

// Where the body comes from.
enum ThttpBodyMode { RBM_FILE, RBM_STRING, RBM_STREAM };

struct ThttpReply
{
    static constexpr const char *defaultRealm = "Password protected resource";

    ThttpReplyMode mode = HRM_IGNORE;
    QByteArray header;             // a complete head that replaces the generated one
    QByteArray contentType;
    QByteArray additionalHeaders;  // lines, each ended by CR LF
    ThttpBodyMode bodyMode = RBM_STRING;
    QByteArray body;
    QString bodyFile;
    // A random-access device whose size() is the body size; the connection
    // takes it over when the body is opened.
    std::unique_ptr<QIODevice> bodyStream;
    qint64 firstByte = -1, lastByte = -1;
    QString realm = QString::fromLatin1(defaultRealm);
    QString reason;
    QString url;
    bool resumeForbidden = false;
    int statusSent = 0; // the status line's code once the head is built

    // Clears everything a new request must not inherit; the range comes
    // from the request. contentType and resumeForbidden are kept.
    void reset(qint64 reqFirstByte, qint64 reqLastByte);

    // Appends "line" CR LF, after removing lines of the same name when
    // overwrite is set; for a Set-Cookie line, only the lines of the same
    // cookie. A line holding CR, LF or NUL is refused (false).
    bool addHeader(QByteArrayView line, bool overwrite = false);
    // The same for the line "name: value", written straight into the lines
    // (no line of its own is built). A name that is empty or holds a colon
    // is refused as well.
    bool addHeader(QByteArrayView name, QByteArrayView value, bool overwrite);
    // addHeader(line, true) for the program's own constant lines: well
    // formed and no Set-Cookie, so they need none of the checks.
    void addOwnHeader(QByteArrayView line);
    // The same for several such lines, each ended by CR LF, added at once.
    void addOwnHeaders(QByteArrayView lines);
    // Adds the line when no line of that name is there yet. Throws
    // std::invalid_argument("Missing colon") when the line has no ':'.
    bool setHeaderIfNone(QByteArrayView line);
    void removeHeader(QByteArrayView name);
    // "Set-Cookie: k=v; name=value; ...; extra". A reply carries one
    // Set-Cookie line per cookie: the last one set for it.
    // The same for text (sent as UTF-8) and literals.
    bool addHeader(const QString &line, bool overwrite = false) { return addHeader(QByteArrayView(line.toUtf8()), overwrite); }
    bool addHeader(const QByteArray &line, bool overwrite = false) { return addHeader(QByteArrayView(line), overwrite); }
    bool addHeader(const char *line, bool overwrite = false) { return addHeader(QByteArrayView(line), overwrite); }
    bool setHeaderIfNone(const QString &line) { return setHeaderIfNone(QByteArrayView(line.toUtf8())); }
    bool setHeaderIfNone(const QByteArray &line) { return setHeaderIfNone(QByteArrayView(line)); }
    bool setHeaderIfNone(const char *line) { return setHeaderIfNone(QByteArrayView(line)); }
    void removeHeader(const QString &name) { removeHeader(QByteArrayView(name.toUtf8())); }
    void removeHeader(const QByteArray &name) { removeHeader(QByteArrayView(name)); }
    void removeHeader(const char *name) { removeHeader(QByteArrayView(name)); }
    bool setCookie(const QString &k, const QString &v,
                   const QList<QPair<QString, QString>> &pairs = {}, const QString &extra = {});
    bool delCookie(const QString &k);

private:
    void makeRoomForLines();
    void appendLine(std::initializer_list<QByteArrayView> parts);
};

// Status code of a mode (0 for modes that send nothing).
int replyModeCode(ThttpReplyMode mode);
// The mode's own name ("HRM_NOT_FOUND"), for logs.
const char *replyModeName(ThttpReplyMode mode);
// The standard phrase of a status code; empty for codes without one.
QByteArray reasonPhrase(int code);
// The text sent when the application gave no body; url is the redirection target.
QByteArray defaultBody(ThttpReplyMode mode, const QString &url);
// True when the bytes may go into a header line (no CR, LF or NUL).
bool isHeaderSafe(QByteArrayView v);
bool isHeaderSafe(QStringView v);
// additionalHeaders with every unsafe or malformed line dropped.
QByteArray sanitizeHeaderLines(const QByteArray &lines);
