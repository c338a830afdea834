#pragma once
// A TLS client for the server tests, non-blocking so that the server under
// test runs in the same thread: every wait turns Qt's event loop.

#include "testClient.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

class TtlsTestClient
{
public:
    // maxVersion pins the newest protocol offered (TLS1_1_VERSION: an old client).
    explicit TtlsTestClient(quint16 port, int maxVersion = 0)
    {
        ctx = SSL_CTX_new(TLS_client_method());
        if (maxVersion) {
            // Let the client itself offer the old protocol: only the server may say no.
            SSL_CTX_set_security_level(ctx, 0);
            SSL_CTX_set_min_proto_version(ctx, TLS1_VERSION);
            SSL_CTX_set_max_proto_version(ctx, maxVersion);
            SSL_CTX_set_cipher_list(ctx, "DEFAULT:@SECLEVEL=0");
        }
        SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ssl = SSL_new(ctx);
        SSL_set_fd(ssl, fd);
        SSL_set_connect_state(ssl);
    }
    ~TtlsTestClient()
    {
        SSL_free(ssl);
        SSL_CTX_free(ctx);
        if (fd >= 0)
            ::close(fd);
    }

    // Runs the handshake; false when the server refused it or took too long.
    bool handshake(int ms = 3000)
    {
        return retry([&] { return SSL_do_handshake(ssl); }, ms) == 1;
    }
    QString protocol() const { return QString::fromLatin1(SSL_get_version(ssl)); }

    bool send(const QByteArray &data, int ms = 3000)
    {
        qsizetype done = 0;
        while (done < data.size()) {
            size_t put = 0;
            if (retry([&] { return SSL_write_ex(ssl, data.constData() + done, size_t(data.size() - done), &put); }, ms) != 1)
                return false;
            done += qsizetype(put);
        }
        return true;
    }

    // One reply with a Content-Length body (or up to the close).
    TtestResponse response(int ms = 5000)
    {
        TtestResponse r;
        QByteArray in;
        qsizetype bodyLen = -1, headEnd = -1;
        QElapsedTimer t;
        t.start();
        char buf[65536];
        while (t.elapsed() < ms) {
            size_t got = 0;
            ERR_clear_error();
            const int rc = SSL_read_ex(ssl, buf, sizeof buf, &got);
            if (rc == 1) {
                in.append(buf, qsizetype(got));
            } else {
                const int e = SSL_get_error(ssl, rc);
                if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE)
                    break; // closed
                QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            }
            if (headEnd < 0 && (headEnd = in.indexOf("\r\n\r\n")) >= 0) {
                r.head = in.left(headEnd);
                r.code = in.mid(9, 3).toInt();
                const QByteArray len = r.header("Content-Length");
                bodyLen = len.isEmpty() ? -1 : len.toLongLong();
            }
            if (headEnd >= 0 && bodyLen >= 0 && in.size() - headEnd - 4 >= bodyLen)
                break;
        }
        if (headEnd >= 0) {
            r.body = in.mid(headEnd + 4);
            r.complete = bodyLen < 0 || r.body.size() == bodyLen;
        }
        return r;
    }

    bool connected = false;
    int fd = -1;

private:
    template<class F>
    int retry(F step, int ms)
    {
        QElapsedTimer t;
        t.start();
        for (;;) {
            ERR_clear_error();
            const int rc = step();
            if (rc == 1)
                return 1;
            const int e = SSL_get_error(ssl, rc);
            if ((e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) || t.elapsed() > ms)
                return rc;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        }
    }

    SSL_CTX *ctx = nullptr;
    SSL *ssl = nullptr;
};
