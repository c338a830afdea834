#include "http/tlsContext.h"

#include <QFile>
#include <QStringList>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/stat.h>

bool permissionsTooOpen(unsigned mode)
{
    return (mode & 077) != 0;
}

bool kernelTlsAvailable()
{
#ifdef OPENSSL_NO_KTLS
    return false;
#else
    QFile ulp(QStringLiteral("/proc/sys/net/ipv4/tcp_available_ulp"));
    return ulp.open(QIODevice::ReadOnly) && ulp.readAll().split(' ').contains("tls");
#endif
}

QString takeTlsErrors()
{
    QStringList parts;
    while (const unsigned long e = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(e, text, sizeof text);
        parts.append(QString::fromLatin1(text));
    }
    return parts.join(QStringLiteral("; "));
}

TtlsContext::~TtlsContext()
{
    SSL_CTX_free(ctx);
}

std::shared_ptr<TtlsContext> TtlsContext::load(const QString &certFile, const QString &keyFile, QString *error)
{
    ERR_clear_error();
    const QByteArray certPath = QFile::encodeName(certFile);
    const QByteArray keyPath = QFile::encodeName(keyFile);
    if (certFile.isEmpty() || keyFile.isEmpty()) {
        *error = QStringLiteral("a certificate and a private key file are both needed");
        return nullptr;
    }
    struct stat st {};
    if (::stat(keyPath.constData(), &st) != 0) {
        *error = QStringLiteral("cannot read the private key file %1").arg(keyFile);
        return nullptr;
    }
    // A key others can read is a key others may have copied.
    if (permissionsTooOpen(st.st_mode)) {
        *error = QStringLiteral("the private key file %1 can be read by other users; "
                                "allow its owner alone (chmod 600)")
                     .arg(keyFile);
        return nullptr;
    }
    SSL_CTX *c = SSL_CTX_new(TLS_server_method());
    if (!c) {
        *error = QStringLiteral("TLS unavailable: ") + takeTlsErrors();
        return nullptr;
    }
    std::shared_ptr<TtlsContext> result(new TtlsContext(c));
    SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(c, TLS1_3_VERSION);
    SSL_CTX_set_options(c, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_IGNORE_UNEXPECTED_EOF
#ifdef SSL_OP_ENABLE_KTLS
                               | SSL_OP_ENABLE_KTLS
#endif
    );
    // Partial writes and a moving buffer: a write the socket could not take
    // whole is retried from the connection's queue, wherever it lives now.
    SSL_CTX_set_mode(c, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER
                            | SSL_MODE_RELEASE_BUFFERS);
    // A record is read with one system call, not its header and its body
    // apart; and a client's pipelined records come in one read too.
    SSL_CTX_set_read_ahead(c, 1);
    SSL_CTX_set_session_cache_mode(c, SSL_SESS_CACHE_SERVER);
    if (SSL_CTX_use_certificate_chain_file(c, certPath.constData()) != 1) {
        *error = QStringLiteral("cannot use the certificate file %1: %2").arg(certFile, takeTlsErrors());
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(c, keyPath.constData(), SSL_FILETYPE_PEM) != 1) {
        const QString why = takeTlsErrors();
        *error = why.contains(QLatin1String("key values mismatch"))
            ? QStringLiteral("the certificate %1 does not match the private key %2").arg(certFile, keyFile)
            : QStringLiteral("cannot use the private key file %1: %2").arg(keyFile, why);
        return nullptr;
    }
    if (SSL_CTX_check_private_key(c) != 1) {
        takeTlsErrors();
        *error = QStringLiteral("the certificate %1 does not match the private key %2").arg(certFile, keyFile);
        return nullptr;
    }
    return result;
}
