#include "http/tlsSession.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <cerrno>

TtlsSession::TtlsSession(ssl_ctx_st *ctx, int fd)
{
    ssl = SSL_new(ctx);
    if (ssl && SSL_set_fd(ssl, fd) != 1) {
        SSL_free(ssl);
        ssl = nullptr;
    }
    if (ssl) {
        SSL_set_accept_state(ssl);
        BIO *socketBio = SSL_get_rbio(ssl);
        BIO_set_callback_arg(socketBio, reinterpret_cast<char *>(this));
        BIO_set_callback_ex(socketBio, socketReadWatch);
    }
}

// Called around every operation on the socket's BIO; notes how the last
// read of the socket went.
long TtlsSession::socketReadWatch(BIO *bio, int oper, const char *, size_t len, int, long, int ret,
                                  size_t *processed)
{
    if (oper == (BIO_CB_READ | BIO_CB_RETURN)) {
        auto *self = reinterpret_cast<TtlsSession *>(BIO_get_callback_arg(bio));
        const size_t got = (ret > 0 && processed) ? *processed : 0;
        self->lastSocketReadShort = got < len;
    }
    return ret;
}

bool TtlsSession::inputDrained() const
{
    return ssl && lastSocketReadShort && !SSL_has_pending(ssl);
}

TtlsSession::~TtlsSession()
{
    SSL_free(ssl);
}

TtlsSession::Status TtlsSession::statusOf(int ret)
{
    const int e = SSL_get_error(ssl, ret);
    switch (e) {
    case SSL_ERROR_WANT_READ:
        return TS_WANT_READ;
    case SSL_ERROR_WANT_WRITE:
        return TS_WANT_WRITE;
    case SSL_ERROR_ZERO_RETURN:
        return TS_CLOSED;
    case SSL_ERROR_SYSCALL:
        // An interrupted call is retried like a full socket.
        if (errno == EINTR || errno == EAGAIN)
            return TS_WANT_READ;
        ERR_clear_error();
        return TS_ERROR;
    default:
        ERR_clear_error();
        return TS_ERROR;
    }
}

TtlsSession::Status TtlsSession::handshake()
{
    if (!ssl)
        return TS_ERROR;
    if (established)
        return TS_OK;
    ERR_clear_error();
    const int r = SSL_do_handshake(ssl);
    if (r == 1) {
        established = true;
        return TS_OK;
    }
    const Status s = statusOf(r);
    return s == TS_CLOSED ? TS_ERROR : s;
}

qint64 TtlsSession::read(char *dst, qint64 max, Status *status)
{
    size_t got = 0;
    ERR_clear_error();
    const int r = SSL_read_ex(ssl, dst, size_t(max), &got);
    if (r == 1) {
        *status = TS_OK;
        return qint64(got);
    }
    *status = statusOf(r);
    return 0;
}

qint64 TtlsSession::write(const char *src, qint64 len, Status *status)
{
    size_t put = 0;
    ERR_clear_error();
    const int r = SSL_write_ex(ssl, src, size_t(len), &put);
    if (r == 1) {
        *status = TS_OK;
        return qint64(put);
    }
    *status = statusOf(r);
    return 0;
}

bool TtlsSession::kernelSend() const
{
#ifndef OPENSSL_NO_KTLS
    return ssl && BIO_get_ktls_send(SSL_get_wbio(ssl));
#else
    return false;
#endif
}

qint64 TtlsSession::sendFile(int fileFd, qint64 offset, qint64 len, Status *status)
{
#ifndef OPENSSL_NO_KTLS
    ERR_clear_error();
    const ossl_ssize_t r = SSL_sendfile(ssl, fileFd, off_t(offset), size_t(len), 0);
    if (r > 0) {
        *status = TS_OK;
        return qint64(r);
    }
    *status = statusOf(int(r));
    return 0;
#else
    Q_UNUSED(fileFd) Q_UNUSED(offset) Q_UNUSED(len)
    *status = TS_ERROR;
    return 0;
#endif
}

bool TtlsSession::hasPending() const
{
    return ssl && SSL_has_pending(ssl) == 1;
}

void TtlsSession::notifyClose()
{
    if (!ssl || !established)
        return;
    ERR_clear_error();
    SSL_shutdown(ssl);
    ERR_clear_error();
}

QString TtlsSession::protocol() const
{
    return ssl && established ? QString::fromLatin1(SSL_get_version(ssl)) : QString();
}
