#pragma once
// The server's TLS settings: one certificate chain and its private key,
// TLS 1.2 and 1.3 only, kernel TLS asked for when OpenSSL and the kernel
// have it. Everything that can be wrong with the files is found here, when
// the listener starts, not at a client's first handshake.

#include <QString>
#include <memory>

struct ssl_ctx_st;

class TtlsContext
{
public:
    ~TtlsContext();
    TtlsContext(const TtlsContext &) = delete;
    TtlsContext &operator=(const TtlsContext &) = delete;

    // Null on failure, with *error saying what is wrong and with which file.
    static std::shared_ptr<TtlsContext> load(const QString &certFile, const QString &keyFile, QString *error);

    ssl_ctx_st *handle() const { return ctx; }

private:
    explicit TtlsContext(ssl_ctx_st *c) : ctx(c) {}
    ssl_ctx_st *ctx;
};

// Whether a file with these permission bits can be read or changed by
// someone other than its owner (group or other bits set).
bool permissionsTooOpen(unsigned mode);

// Whether the kernel offers TLS on sockets (its "tls" module is loaded) and
// OpenSSL was built to use it: large files then leave without a copy.
bool kernelTlsAvailable();

// The last OpenSSL errors of this thread as one line, the queue emptied.
QString takeTlsErrors();
