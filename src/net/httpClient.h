#pragma once
// Outgoing HTTP: GET (whole or a range), HEAD and downloads into a file, on
// Qt Network. Each call looks synchronous: it runs a local event loop until
// the reply ends, so the server goes on answering other connections while it
// waits. The connection whose handling made the call is locked by the server
// meanwhile (its socket paused, its next request held back), so it is not
// re-entered. Bodies are read up to a limit the caller gives; the rest is
// cut, so a large or endless reply never grows memory without bound.
#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// What a service such as an external-address page may answer.
inline constexpr qint64 kServiceReplyLimit = 64 * 1024;

struct ThttpResult
{
    bool ok = false;            // a 2xx reply read to its end (or to the limit)
    int status = 0;             // 0 when no reply came
    QByteArray body;
    QString contentType;
    qint64 contentLength = -1;  // -1 when the reply gave none
    bool cut = false;           // the body went past the limit and was cut
};

class ThttpClient
{
public:
    explicit ThttpClient(QString userAgent);
    ~ThttpClient();
    ThttpClient(const ThttpClient &) = delete;
    ThttpClient &operator=(const ThttpClient &) = delete;

    // A reply silent this long is given up.
    int idleTimeoutMs = 20000;
    // A GET or HEAD taking longer than this in all is given up (a download
    // is bounded by idleTimeoutMs only).
    int totalTimeoutMs = 60000;

    // GET of `size` bytes from `from` (size -1: to the end), at most
    // `maxBytes` of them kept. A server that ignores the range still gives
    // the asked bytes: the ones before `from` are skipped here.
    ThttpResult get(const QString &url, qint64 from = 0, qint64 size = -1,
                    qint64 maxBytes = kServiceReplyLimit);
    // The body of get() as text (UTF-8 when the reply says so, else byte for
    // byte); nothing on failure.
    std::optional<QString> httpGet(const QString &url, qint64 from = 0, qint64 size = -1,
                                   qint64 maxBytes = kServiceReplyLimit);
    // The Content-Length of a HEAD request; -1 on failure or when missing.
    qint64 httpSize(const QString &url);
    // GET into `path`; done when the file holds as many bytes as the reply's
    // Content-Length. A failed attempt deletes the file; up to `attempts`.
    using Tprogress = std::function<void(qint64 received, qint64 total)>;
    bool httpDownload(const QString &url, const QString &path, int attempts = 1,
                      const Tprogress &onProgress = {});

    const QString &userAgent() const { return agent; }

private:
    struct Tsink;
    QNetworkRequest request(const QString &url) const;
    ThttpResult wait(QNetworkReply *reply, Tsink &sink, bool totalBound);

    QString agent;
    std::unique_ptr<QNetworkAccessManager> manager;
};
