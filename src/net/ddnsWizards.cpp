#include "net/ddnsWizards.h"

#include "config/options.h"
#include "net/ddnsUpdater.h"
#include "util/prompt.h"

#include <optional>

namespace {

// A trimmed answer; nothing when cancelled or empty.
std::optional<QString> askFilled(Tprompt &prompt, const QString &text)
{
    const std::optional<QString> answer = prompt.askText(text, text, QString());
    if (!answer || answer->trimmed().isEmpty())
        return std::nullopt;
    return answer->trimmed();
}

std::optional<QString> askHost(Tprompt &prompt)
{
    for (;;) {
        const std::optional<QString> answer =
            prompt.askText(QStringLiteral("Enter domain (full form!)"), QStringLiteral("Enter host"), QString());
        if (!answer)
            return std::nullopt;
        QString host = answer->trimmed();
        const qsizetype scheme = host.indexOf(QLatin1String("://"));
        if (scheme >= 0)
            host.remove(0, scheme + 3);
        if (host.contains(u'.'))
            return host;
        prompt.message(QStringLiteral("Please, enter it in the FULL form, with dots"), PK_WARNING);
    }
}

} // namespace

TddnsServiceHosts &ddnsServiceHosts()
{
    static TddnsServiceHosts hosts;
    return hosts;
}

bool runDdnsWizard(TddnsService service, Tprompt &prompt, TddnsUpdater &updater,
                   const std::function<void(const QString &host)> &setUrlAddress)
{
    const std::optional<QString> user = askFilled(prompt, QStringLiteral("Enter user"));
    if (!user)
        return false;
    const std::optional<QString> password = askFilled(prompt, QStringLiteral("Enter password"));
    if (!password)
        return false;
    const TddnsServiceHosts &hosts = ddnsServiceHosts();
    QString host, url;
    if (service == DS_CJB) {
        host = *user + u'.' + hosts.cjbDomain;
        url = QStringLiteral("http://%1/cgi-bin/dynip.cgi?username=%2&password=%3&ip=%ip%")
                  .arg(hosts.cjbHost, *user, *password);
    } else {
        const std::optional<QString> asked = askHost(prompt);
        if (!asked)
            return false;
        host = *asked;
        const QString &updateHost = service == DS_NOIP ? hosts.noIpUpdateHost : hosts.dynDnsUpdateHost;
        url = QStringLiteral("http://%1:%2@%3/nic/update?hostname=%4").arg(*user, *password, updateHost, host);
        if (service == DS_DYNDNS)
            url += QStringLiteral("&myip=%ip%&wildcard=NOCHG&backmx=NOCHG&mx=NOCHG&system=dyndns");
    }
    Toptions &o = opts();
    o.dynamicDnsUser = *user;
    o.dynamicDnsHost = host;
    updater.setUrl(url, prompt);
    if (!o.customIp.contains(host))
        o.customIp.append(host);
    if (setUrlAddress)
        setUrlAddress(host);
    return true;
}
