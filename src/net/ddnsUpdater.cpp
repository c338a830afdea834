#include "net/ddnsUpdater.h"

#include "config/options.h"
#include "log/log.h"
#include "net/ddnsReply.h"
#include "net/externalAddress.h"
#include "util/addresses.h"
#include "util/prompt.h"

#include <QDir>
#include <QTemporaryFile>

namespace {
constexpr qint64 resendAfterSeconds = 24LL * 24 * 60 * 60;
}

TddnsUpdater &ddnsUpdater()
{
    static TddnsUpdater u;
    return u;
}

bool TddnsUpdater::due() const
{
    const QString &address = knownExternalAddress();
    if (address.isEmpty())
        return false;
    if (!isLocalAddress(address) && address != opts().lastExternalAddress)
        return true;
    // Never sent in this run counts as long ago.
    return !lastTime.isValid() || lastTime.secsTo(now()) > resendAfterSeconds;
}

void TddnsUpdater::second(Tprompt &prompt)
{
    if (!enabled || opts().dynamicDnsUpdater.isEmpty())
        return;
    if (knownExternalAddress().isEmpty() && findAddress)
        findAddress();
    if (due())
        update(prompt);
}

QString TddnsUpdater::update(Tprompt &prompt)
{
    const QString address = knownExternalAddress();
    if (address.isEmpty())
        return {};
    if (status)
        status(QStringLiteral("Updating dynamic DNS..."), 5);
    lastTime = now();
    const QString url = ddnsRequestUrl(opts().dynamicDnsUpdater, address);
    // A network error reads as an empty reply.
    const QString reply = fetch ? fetch(url).value_or(QString()) : QString();
    if (!reply.isEmpty())
        lastReply = reply;
    const TddnsOutcome outcome = interpretDdnsReply(reply);
    if (outcome.needsUser)
        enabled = false;
    Toptions &o = opts();
    if (o.logOthers)
        add2log(QStringLiteral("DNS update requested for %1: %2").arg(o.lastExternalAddress, outcome.result));
    if (enabled)
        o.lastExternalAddress = address;
    else
        prompt.message(QStringLiteral("DNS update failed: %1\rUser intervention is required.").arg(outcome.result),
                       PK_ERROR);
    if (status)
        status(QString(), 0);
    return outcome.result;
}

void TddnsUpdater::setUrl(const QString &url, Tprompt &prompt)
{
    Toptions &o = opts();
    o.dynamicDnsUpdater = url;
    if (url.isEmpty())
        return;
    if (o.findExternalOnStartup) {
        o.findExternalOnStartup = false;
        prompt.message(QStringLiteral("This option makes pointless the option \"Find external address at "
                                      "startup\", which has now been disabled for your convenience."));
        return;
    }
    // The next second searches the address and sends it.
    enabled = true;
    o.lastExternalAddress.clear();
    knownExternalAddress().clear();
}

void TddnsUpdater::disable(Tprompt &prompt)
{
    opts().dynamicDnsUpdater.clear();
    prompt.message(QStringLiteral("Dynamic DNS updater disabled"));
}

void TddnsUpdater::customUrl(Tprompt &prompt)
{
    const std::optional<QString> url =
        prompt.askText(QStringLiteral("Enter URL for updating.\r%ip% will be translated to your external IP."),
                       QStringLiteral("Enter URL"), opts().dynamicDnsUpdater);
    if (url)
        setUrl(*url, prompt);
}

bool TddnsUpdater::allowFindOnStartup(Tprompt &prompt) const
{
    if (!enabled || opts().dynamicDnsUpdater.isEmpty())
        return true;
    return prompt.question(QStringLiteral("This option is NOT compatible with \"dynamic dns updater\".\rContinue?"),
                           PB_YES | PB_NO, PB_NO)
        == PB_YES;
}

void TddnsUpdater::showLastReply(Tprompt &prompt, const std::function<void(const QString &path)> &openFile) const
{
    if (!lastReply.contains(QLatin1String("<html>"), Qt::CaseInsensitive) || !openFile) {
        prompt.message(lastReply);
        return;
    }
    QTemporaryFile page(QDir::tempPath() + QStringLiteral("/zof-ddns-XXXXXX.html"));
    page.setAutoRemove(false); // the viewer reads it after this returns
    if (!page.open() || page.write(lastReply.toUtf8()) < 0) {
        prompt.message(lastReply);
        return;
    }
    page.close();
    openFile(page.fileName());
}
