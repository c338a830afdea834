#include "serve/sameSite.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "serve/connData.h"
#include "util/encodings.h"
#include "util/asciiCase.h"
#include "util/masks.h"

namespace {

struct Tauthority
{
    QStringView name;
    int port = -1;        // none given
    int defaultPort = -1; // of the URL's scheme, when known
};

// "name", "name:port", "[v6]" or "[v6]:port"; false when malformed.
bool splitAuthority(QStringView a, Tauthority &out)
{
    QStringView portText;
    bool hasPort = false;
    if (a.startsWith(u'[')) {
        const qsizetype close = a.indexOf(u']');
        if (close < 0)
            return false;
        out.name = a.first(close + 1);
        const QStringView rest = a.sliced(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':'))
                return false;
            portText = rest.sliced(1);
            hasPort = true;
        }
    } else {
        const qsizetype colon = a.indexOf(u':');
        out.name = colon < 0 ? a : a.first(colon);
        if (colon >= 0) {
            portText = a.sliced(colon + 1);
            hasPort = true;
        }
    }
    if (out.name.isEmpty())
        return false;
    if (!hasPort)
        return true;
    bool ok = false;
    const int port = portText.toInt(&ok);
    if (!ok || port <= 0 || port > 65535 || portText.startsWith(u'+'))
        return false;
    out.port = port;
    return true;
}

// The authority of "scheme://[user@]authority[/...]", its port being the
// scheme's default when none is given; false when `url` is no such URL.
bool siteOfUrl(QStringView url, Tauthority &out)
{
    const qsizetype sep = url.indexOf(QLatin1String("://"));
    if (sep <= 0)
        return false;
    const QStringView scheme = url.first(sep);
    for (QChar c : scheme)
        if (!c.isLetterOrNumber() && c != u'+' && c != u'-' && c != u'.')
            return false;
    QStringView rest = url.sliced(sep + 3);
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != u'/' && rest[end] != u'?' && rest[end] != u'#')
        ++end;
    QStringView authority = rest.first(end);
    if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0)
        authority = authority.sliced(at + 1);
    if (!splitAuthority(authority, out))
        return false;
    if (sameText(scheme, u"http"))
        out.defaultPort = 80;
    else if (sameText(scheme, u"https"))
        out.defaultPort = 443;
    if (out.port < 0)
        out.port = out.defaultPort;
    return true;
}

} // namespace

bool sameSite(QStringView origin, QStringView referer, QStringView host)
{
    const QStringView page = !origin.isEmpty() ? origin : referer;
    if (page.isEmpty())
        return true;
    Tauthority from, to;
    if (!siteOfUrl(page.trimmed(), from) || !splitAuthority(host.trimmed(), to))
        return false;
    // A Host without a port is the default port of the page's scheme.
    const int toPort = to.port < 0 ? from.defaultPort : to.port;
    return sameText(from.name, to.name) && from.port == toPort;
}

bool fromAnotherSite(const ThttpConn &conn)
{
    const QString origin = conn.getHeader(QByteArrayView("Origin"));
    const QString referer = conn.getHeader(QByteArrayView("Referer"));
    if (origin.isEmpty() && referer.isEmpty())
        return false;
    QString host;
    const QString &mask = opts().forwardedMask;
    if (!mask.isEmpty() && matchAddressMask(mask, conn.address()))
        host = conn.getHeader(QByteArrayView("X-Forwarded-Host")).section(u',', 0, 0);
    if (host.isEmpty())
        host = conn.getHeader(QByteArrayView("Host"));
    return !sameSite(origin, referer, host);
}

QString formTokenOf(const TconnData &cd)
{
    // The session id is the visitor's secret (an HttpOnly cookie); a digest
    // of it shows nothing of the id and stays the same across restarts,
    // since sessions are taken up again under the id their cookie names.
    if (!cd.credentials.session || cd.credentials.session->id.isEmpty())
        return {};
    return sha256Hex(QStringLiteral("form token:") + cd.credentials.session->id).left(32);
}

bool wrongFormToken(const TconnData &cd)
{
    const qsizetype i = cd.request.postVars.indexOf(QStringLiteral("csrf-token"));
    if (i < 0)
        return false;
    const QString expected = formTokenOf(cd);
    return expected.isEmpty() || cd.request.postVars.valueAt(i) != expected;
}
