#include "http/tlsSelfSigned.h"

#include "http/tlsContext.h"

#include <QFile>
#include <QFileInfo>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {
template<class T, void (*Free)(T *)>
struct TosslFree {
    void operator()(T *p) const { Free(p); }
};
using Tkey = std::unique_ptr<EVP_PKEY, TosslFree<EVP_PKEY, EVP_PKEY_free>>;
using Tcert = std::unique_ptr<X509, TosslFree<X509, X509_free>>;
using Tbio = std::unique_ptr<BIO, TosslFree<BIO, BIO_free_all>>;

// Created with mode 0600 from the start: the key is never readable by
// others, not even for a moment.
bool writePrivate(const QString &path, const QByteArray &data)
{
    const QByteArray name = QFile::encodeName(path);
    ::unlink(name.constData());
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n <= 0) {
            ::close(fd);
            ::unlink(name.constData());
            return false;
        }
        done += n;
    }
    const bool ok = ::fchmod(fd, 0600) == 0;
    return ::close(fd) == 0 && ok;
}

QByteArray bioBytes(BIO *b)
{
    char *data = nullptr;
    const long len = BIO_get_mem_data(b, &data);
    return QByteArray(data, qsizetype(len));
}

bool addExtension(X509 *cert, int nid, const char *value)
{
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
    if (!ext)
        return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}
}

bool makeSelfSigned(const QString &certFile, const QString &keyFile, const QString &hostName, QString *error)
{
    const QByteArray host = (hostName.isEmpty() ? QStringLiteral("localhost") : hostName).toUtf8().left(64);
    Tkey key(EVP_EC_gen("P-256"));
    Tcert cert(X509_new());
    if (!key || !cert) {
        *error = QStringLiteral("cannot make a key: ") + takeTlsErrors();
        return false;
    }
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7f; // a positive serial number
    BIGNUM *bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_set_version(cert.get(), 2);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24 * 3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 825L * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME *name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>(host.constData()),
                               int(host.size()), -1, 0);
    X509_set_issuer_name(cert.get(), name);
    QByteArray san = "DNS:localhost,IP:127.0.0.1,IP:::1";
    if (host != "localhost" && !host.contains(',') && !host.contains(':'))
        san = "DNS:" + host + ',' + san;
    if (!addExtension(cert.get(), NID_subject_alt_name, san.constData())
        || !addExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE")
        || !addExtension(cert.get(), NID_ext_key_usage, "serverAuth")
        || X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) {
        *error = QStringLiteral("cannot make a certificate: ") + takeTlsErrors();
        return false;
    }
    Tbio keyOut(BIO_new(BIO_s_mem()));
    Tbio certOut(BIO_new(BIO_s_mem()));
    if (!keyOut || !certOut || PEM_write_bio_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1
        || PEM_write_bio_X509(certOut.get(), cert.get()) != 1) {
        *error = QStringLiteral("cannot encode the certificate: ") + takeTlsErrors();
        return false;
    }
    if (!writePrivate(keyFile, bioBytes(keyOut.get())) || !writePrivate(certFile, bioBytes(certOut.get()))) {
        QFile::remove(keyFile);
        QFile::remove(certFile);
        *error = QStringLiteral("cannot write %1 and %2").arg(certFile, keyFile);
        return false;
    }
    return true;
}

bool ensureSelfSigned(const QString &certFile, const QString &keyFile, const QString &hostName, QString *error)
{
    if (QFileInfo::exists(certFile) && QFileInfo::exists(keyFile)) {
        // Kept only while it still loads: a damaged pair is made again.
        QString why;
        if (TtlsContext::load(certFile, keyFile, &why))
            return true;
    }
    return makeSelfSigned(certFile, keyFile, hostName, error);
}
