#include "net/httpClient.h"

#include "net/replyText.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

// Where the body of a reply goes: bytes to skip first, then memory up to a
// limit or a file.
struct ThttpClient::Tsink
{
    qint64 skip = 0;
    qint64 keep = -1;     // bytes to keep in memory, -1 without limit
    QFile *file = nullptr;
    qint64 received = 0;
    Tprogress progress;
};

ThttpClient::ThttpClient(QString userAgent)
    : agent(std::move(userAgent)), manager(std::make_unique<QNetworkAccessManager>())
{
    manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

ThttpClient::~ThttpClient() = default;

QNetworkRequest ThttpClient::request(const QString &url) const
{
    QNetworkRequest r{QUrl(url)};
    r.setHeader(QNetworkRequest::UserAgentHeader, agent);
    r.setTransferTimeout(idleTimeoutMs);
    return r;
}

ThttpResult ThttpClient::wait(QNetworkReply *reply, Tsink &sink, bool totalBound)
{
    ThttpResult res;
    std::unique_ptr<QNetworkReply> owned(reply);
    bool failedWrite = false;
    // Reading as data comes keeps Qt's own buffer small as well.
    reply->setReadBufferSize(64 * 1024);
    const auto take = [&] {
        while (reply->bytesAvailable() > 0 && !res.cut && !failedWrite) {
            QByteArray piece = reply->read(64 * 1024);
            if (sink.skip > 0) {
                const qint64 n = std::min<qint64>(sink.skip, piece.size());
                piece.remove(0, n);
                sink.skip -= n;
            }
            if (sink.keep >= 0 && res.body.size() + piece.size() > sink.keep) {
                piece.truncate(sink.keep - res.body.size());
                res.cut = true;
            }
            sink.received += piece.size();
            if (sink.file)
                failedWrite = sink.file->write(piece) != piece.size();
            else
                res.body += piece;
        }
        if (sink.progress)
            sink.progress(sink.received, reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
        // Enough read: the rest of the body is not wanted.
        if ((res.cut || failedWrite) && reply->isRunning())
            reply->abort();
    };

    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, take);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    if (totalBound)
        deadline.start(totalTimeoutMs);
    if (!reply->isFinished() && QCoreApplication::instance())
        loop.exec();
    if (!reply->isFinished()) {
        // The loop was told to end (the program quits): no reply.
        QObject::disconnect(reply, nullptr, &loop, nullptr);
        reply->abort();
        return res;
    }
    if (!res.cut)
        take();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    res.status = status.isValid() ? status.toInt() : 0;
    res.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toString();
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    res.contentLength = length.isValid() ? length.toLongLong() : -1;
    const bool complete = reply->error() == QNetworkReply::NoError
                          || (res.cut && reply->error() == QNetworkReply::OperationCanceledError);
    res.ok = complete && !failedWrite && res.status >= 200 && res.status < 300;
    return res;
}

ThttpResult ThttpClient::get(const QString &url, qint64 from, qint64 size, qint64 maxBytes)
{
    QNetworkRequest r = request(url);
    from = std::max<qint64>(from, 0);
    const QByteArray range = rangeHeader(from, size);
    if (!range.isEmpty())
        r.setRawHeader("Range", range);
    Tsink sink;
    sink.keep = size >= 0 && (maxBytes < 0 || size < maxBytes) ? size : maxBytes;
    QNetworkReply *reply = manager->get(r);
    // A 200 to a ranged request carries the whole body: the asked bytes
    // start at `from`. Known once the head came, before any body is read.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, &sink, from, range] {
        if (!range.isEmpty() && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200)
            sink.skip = from;
    });
    ThttpResult res = wait(reply, sink, true);
    if (sink.keep >= 0 && res.body.size() >= sink.keep && size >= 0 && size <= maxBytes)
        res.cut = false; // exactly the range asked for, not a cut
    return res;
}

std::optional<QString> ThttpClient::httpGet(const QString &url, qint64 from, qint64 size, qint64 maxBytes)
{
    const ThttpResult r = get(url, from, size, maxBytes);
    if (!r.ok)
        return std::nullopt;
    return replyBodyText(r.body, r.contentType);
}

qint64 ThttpClient::httpSize(const QString &url)
{
    Tsink sink;
    sink.keep = 0;
    const ThttpResult r = wait(manager->head(request(url)), sink, true);
    return r.ok ? r.contentLength : -1;
}

bool ThttpClient::httpDownload(const QString &url, const QString &path, int attempts, const Tprogress &onProgress)
{
    for (int i = 0; i < attempts; ++i) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        Tsink sink;
        sink.file = &file;
        sink.progress = onProgress;
        const ThttpResult r = wait(manager->get(request(url)), sink, false);
        file.close();
        if (r.ok && r.contentLength >= 0 && file.size() == r.contentLength)
            return true;
        file.remove();
    }
    return false;
}
