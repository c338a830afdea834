// The HTTPS listener of the server: started after the plain one, with the
// configured certificate or the fallback pair.
#include "serve/serve.h"

#include "config/options.h"
#include "http/httpSrv.h"
#include "http/tlsContext.h"
#include "log/log.h"

#include <cstdio>

QString Tserve::httpsPort() const
{
    return server->isTlsListening() ? server->tlsPort() : QString();
}

void Tserve::setFallbackCertificate(const QString &certFile, const QString &keyFile)
{
    fallbackCert = certFile;
    fallbackKey = keyFile;
}

void Tserve::startHttps(const QString &onAddress, const QString &host)
{
    const QString port = opts().httpsPort.trimmed();
    if (port.isEmpty())
        return;
    QString cert = opts().httpsCert.trimmed();
    QString key = opts().httpsKey.trimmed();
    if (cert.isEmpty()) {
        cert = fallbackCert;
        key = fallbackKey;
    }
    QString error;
    std::shared_ptr<TtlsContext> context;
    if (cert.isEmpty())
        error = QStringLiteral("no certificate: set https-cert and https-key, or start with --https-self-signed");
    else
        context = TtlsContext::load(cert, key, &error);
    if (context && !server->startTls(onAddress, port, context))
        error = QStringLiteral("cannot listen on port ") + port + QStringLiteral(": ") + server->lastError();
    if (!server->isTlsListening()) {
        add2log(QStringLiteral("HTTPS not started: ") + error, {}, TlogColour::red());
        return;
    }
    add2log(QStringLiteral("HTTPS on port ") + server->tlsPort()
            + (kernelTlsAvailable() ? QStringLiteral(", large files through kernel TLS")
                                    : QStringLiteral(", kernel TLS unavailable: large files through user-space TLS")));
    // Apart from the plain listening line, which scripts take the port from.
    const QString line = QStringLiteral("ZOF listening for HTTPS on https://") + host + u':' + server->tlsPort()
        + QStringLiteral("/\n");
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}
