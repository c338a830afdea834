#include "app/httpsWiring.h"

#include "config/paths.h"
#include "http/tlsSelfSigned.h"
#include "serve/serve.h"

#include <QDir>
#include <QSysInfo>

QString selfSignedCertFile()
{
    return cfgPath() + QStringLiteral("https-self-signed.crt");
}

QString selfSignedKeyFile()
{
    return cfgPath() + QStringLiteral("https-self-signed.key");
}

bool useSelfSignedCertificate(QString *error)
{
    QDir().mkpath(cfgPath());
    if (!ensureSelfSigned(selfSignedCertFile(), selfSignedKeyFile(), QSysInfo::machineHostName(), error))
        return false;
    if (serveExists())
        serve().setFallbackCertificate(selfSignedCertFile(), selfSignedKeyFile());
    return true;
}
