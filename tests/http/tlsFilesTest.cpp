// The HTTPS files: the self-signed pair, the checks made when a pair is
// loaded, and the Secure mark on cookies sent over TLS.
#include "http/secureCookies.h"
#include "http/tlsContext.h"
#include "http/tlsSelfSigned.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

namespace {

unsigned modeOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 0777;
}

X509 *readCert(const QString &path)
{
    FILE *f = std::fopen(QFile::encodeName(path).constData(), "r");
    if (!f)
        return nullptr;
    X509 *x = PEM_read_X509(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    return x;
}

QStringList altNames(X509 *x)
{
    QStringList out;
    auto *names = static_cast<GENERAL_NAMES *>(X509_get_ext_d2i(x, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; names && i < sk_GENERAL_NAME_num(names); ++i) {
        const GENERAL_NAME *n = sk_GENERAL_NAME_value(names, i);
        if (n->type == GEN_DNS)
            out.append(QStringLiteral("DNS:") + QString::fromLatin1(reinterpret_cast<const char *>(ASN1_STRING_get0_data(n->d.dNSName))));
        else if (n->type == GEN_IPADD && ASN1_STRING_length(n->d.iPAddress) == 4) {
            const unsigned char *b = ASN1_STRING_get0_data(n->d.iPAddress);
            out.append(QStringLiteral("IP:%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]));
        }
    }
    GENERAL_NAMES_free(names);
    return out;
}

class TlsFiles : public ::testing::Test
{
protected:
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    void makePair(const char *cert, const char *key, const QString &host = QStringLiteral("box.example"))
    {
        QString error;
        ASSERT_TRUE(makeSelfSigned(path(cert), path(key), host, &error)) << error.toStdString();
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(TlsFiles, SelfSignedPairIsPrivateAndNamesTheHostAndLoopback)
{
    makePair("c.pem", "k.pem");
    EXPECT_EQ(modeOf(path("k.pem")), 0600u);
    EXPECT_EQ(modeOf(path("c.pem")), 0600u);
    X509 *x = readCert(path("c.pem"));
    ASSERT_NE(x, nullptr);
    char cn[128] = {};
    X509_NAME_get_text_by_NID(X509_get_subject_name(x), NID_commonName, cn, sizeof cn);
    EXPECT_STREQ(cn, "box.example");
    const QStringList names = altNames(x);
    EXPECT_TRUE(names.contains(QStringLiteral("DNS:localhost"))) << names.join(u' ').toStdString();
    EXPECT_TRUE(names.contains(QStringLiteral("IP:127.0.0.1"))) << names.join(u' ').toStdString();
    EVP_PKEY *key = X509_get0_pubkey(x);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(EVP_PKEY_get_base_id(key), EVP_PKEY_EC);
    EXPECT_EQ(EVP_PKEY_get_bits(key), 256);
    // Valid now, and for a good while.
    EXPECT_LT(X509_cmp_current_time(X509_get0_notBefore(x)), 0);
    EXPECT_GT(X509_cmp_time(X509_get0_notAfter(x), nullptr), 0);
    X509_free(x);

    QString error;
    EXPECT_NE(TtlsContext::load(path("c.pem"), path("k.pem"), &error), nullptr) << error.toStdString();
}

TEST_F(TlsFiles, APairMadeBeforeIsKeptAndADamagedOneRemade)
{
    makePair("c.pem", "k.pem");
    QFile f(path("c.pem"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray first = f.readAll();
    f.close();
    QString error;
    ASSERT_TRUE(ensureSelfSigned(path("c.pem"), path("k.pem"), QStringLiteral("box.example"), &error));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), first);
    f.close();

    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("not a certificate");
    f.close();
    ASSERT_TRUE(ensureSelfSigned(path("c.pem"), path("k.pem"), QStringLiteral("box.example"), &error));
    EXPECT_NE(TtlsContext::load(path("c.pem"), path("k.pem"), &error), nullptr) << error.toStdString();
}

TEST_F(TlsFiles, KeyReadableByOthersIsRefused)
{
    makePair("c.pem", "k.pem");
    for (const unsigned mode : {0644u, 0640u, 0604u}) {
        ::chmod(QFile::encodeName(path("k.pem")).constData(), mode);
        QString error;
        EXPECT_EQ(TtlsContext::load(path("c.pem"), path("k.pem"), &error), nullptr) << mode;
        EXPECT_TRUE(error.contains(QStringLiteral("can be read by other users"))) << error.toStdString();
        EXPECT_TRUE(error.contains(path("k.pem")));
    }
    ::chmod(QFile::encodeName(path("k.pem")).constData(), 0400);
    QString error;
    EXPECT_NE(TtlsContext::load(path("c.pem"), path("k.pem"), &error), nullptr) << error.toStdString();
}

TEST_F(TlsFiles, CertificateOfAnotherKeyIsRefusedAtLoad)
{
    makePair("a.crt", "a.key");
    makePair("b.crt", "b.key");
    QString error;
    EXPECT_EQ(TtlsContext::load(path("a.crt"), path("b.key"), &error), nullptr);
    EXPECT_TRUE(error.contains(QStringLiteral("does not match"))) << error.toStdString();
}

TEST_F(TlsFiles, MissingOrUnreadableFilesAreNamed)
{
    makePair("c.pem", "k.pem");
    QString error;
    EXPECT_EQ(TtlsContext::load(path("none.pem"), path("k.pem"), &error), nullptr);
    EXPECT_TRUE(error.contains(path("none.pem"))) << error.toStdString();
    EXPECT_EQ(TtlsContext::load(path("c.pem"), path("none.key"), &error), nullptr);
    EXPECT_TRUE(error.contains(path("none.key"))) << error.toStdString();
    // A certificate where the key should be.
    ::chmod(QFile::encodeName(path("c.pem")).constData(), 0600);
    EXPECT_EQ(TtlsContext::load(path("c.pem"), path("c.pem"), &error), nullptr);
    EXPECT_TRUE(error.contains(QStringLiteral("private key"))) << error.toStdString();
    EXPECT_EQ(TtlsContext::load(QString(), path("k.pem"), &error), nullptr);
    EXPECT_FALSE(error.isEmpty());
}

TEST(SecureCookies, MarksEveryCookieLineLackingTheAttribute)
{
    const QByteArray in = "Cache-Control: no-store\r\n"
                          "Set-Cookie: SESSION=abc; path=/; HttpOnly\r\n"
                          "set-cookie: pref=1; \r\n"
                          "Set-Cookie: kept=2; Path=/; SECURE\r\n"
                          "Set-Cookie: word=Secure; path=/\r\n"
                          "X-Note: Set-Cookie: not a cookie line\r\n"
                          "Set-Cookie: last=3";
    const QByteArray expected = "Cache-Control: no-store\r\n"
                                "Set-Cookie: SESSION=abc; path=/; HttpOnly; Secure\r\n"
                                "set-cookie: pref=1; Secure\r\n"
                                "Set-Cookie: kept=2; Path=/; SECURE\r\n"
                                "Set-Cookie: word=Secure; path=/; Secure\r\n"
                                "X-Note: Set-Cookie: not a cookie line\r\n"
                                "Set-Cookie: last=3; Secure";
    EXPECT_EQ(secureCookieLines(in), expected);
    // Applied twice, nothing more changes.
    EXPECT_EQ(secureCookieLines(expected), expected);
    EXPECT_EQ(secureCookieLines(""), QByteArray());
}
