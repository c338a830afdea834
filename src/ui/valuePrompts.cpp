#include "ui/valuePrompts.h"

#include "app/statsWiring.h"
#include "config/config.h"
#include "config/options.h"
#include "log/graph.h"
#include "serve/admission.h"
#include "serve/perIp.h"
#include "serve/serve.h"
#include "util/prompt.h"

#include <QRegularExpression>
#include <QSet>

#include <cmath>

namespace {

const QString invalidValue = QStringLiteral("Invalid value");
const QString noLimits = QStringLiteral("Leave blank to get no limits.");

struct TcountLimitInfo
{
    const char *name;
    const char *key;
    qint64 Toptions::*member;
    const char *text;
};

const TcountLimitInfo countLimits[] = {
    {"Max connections", "max-connections", &Toptions::maxConnections,
     "Max simultaneous connections to serve.\rMost people don't know this function well, and have problems. If "
     "you are unsure, please use the \"Max simultaneous downloads\"."},
    {"Max connections from single address", "max-connections-by-ip", &Toptions::maxConnectionsByIp,
     "Max simultaneous connections to accept from a single IP address.\rMost people don't know this function "
     "well, and have problems. If you are unsure, please use the \"Max simultaneous downloads from a single IP "
     "address\"."},
    {"Max simultaneous downloads", "max-contemporary-dls", &Toptions::maxContemporaryDls,
     "Max simultaneous downloads"},
    {"Max simultaneous downloads from single address", "max-contemporary-dls-ip", &Toptions::maxContemporaryDlsIp,
     "Max simultaneous downloads from single address"},
    {"Max simultaneous addresses", "max-ips", &Toptions::maxIps, "Max simultaneous addresses"},
    {"Max simultaneous addresses downloading", "max-ips-downloading", &Toptions::maxIpsDownloading,
     "Max simultaneous addresses downloading"},
};

const TcountLimitInfo &limitInfo(TcountLimit which)
{
    return countLimits[which];
}

void setValueOption(const QString &key, const QString &value)
{
    cfg().setCfg(key + u'=' + value, true);
}

// A number of the "count rule" boxes: the current value shown (empty when
// off), the answer checked, the option set. Whether it changed.
bool askCountValue(const QString &key, qint64 Toptions::*member, const QString &title, const QString &text)
{
    const qint64 now = opts().*member;
    const std::optional<QString> answer
        = prompt().askText(text, title, now > 0 ? QString::number(now) : QString());
    if (!answer)
        return false;
    const std::optional<qint64> v = parseCount(*answer);
    if (!v) {
        prompt().message(invalidValue, PK_ERROR);
        return false;
    }
    if (*v == now)
        return false;
    setValueOption(key, QString::number(*v));
    return true;
}

// An integer where empty is 0 and any integer goes (disk space, flags).
bool askIntValue(const QString &key, qint64 Toptions::*member, const QString &title, const QString &text)
{
    const qint64 now = opts().*member;
    const std::optional<QString> answer = prompt().askText(text, title, QString::number(now));
    if (!answer)
        return false;
    const QString t = answer->trimmed();
    bool ok = true;
    const qint64 v = t.isEmpty() ? 0 : t.toLongLong(&ok);
    if (!ok) {
        prompt().message(invalidValue, PK_ERROR);
        return false;
    }
    if (v == now)
        return false;
    setValueOption(key, QString::number(v));
    return true;
}

bool askTextValue(const QString &key, QString Toptions::*member, const QString &title, const QString &text,
             bool trimmed)
{
    const std::optional<QString> answer = prompt().askText(text, title, opts().*member);
    if (!answer)
        return false;
    const QString v = trimmed ? answer->trimmed() : *answer;
    if (v == opts().*member)
        return false;
    setValueOption(key, v);
    return true;
}

// "      (%d %s)" after a caption when the value is above 0.
QString captionWithUnit(const QString &name, qint64 value, const QString &unit)
{
    return value > 0 ? name + QStringLiteral("       (%1 %2)").arg(value).arg(unit) : name;
}

// Addresses (each once, in first-seen order) with more than `limit` of the
// connections that `counts` picks.
QStringList addressesOver(const QList<TadmissionConn> &open, qint64 limit, bool downloadsOnly)
{
    QHash<QString, qint64> n;
    QStringList order;
    for (const TadmissionConn &c : open) {
        if (downloadsOnly && !c.downloading)
            continue;
        if (!n.contains(c.address))
            order += c.address;
        ++n[c.address];
    }
    QStringList over;
    for (const QString &a : std::as_const(order))
        if (n.value(a) > limit)
            over += a;
    return over;
}

qint64 distinctAddresses(const QList<TadmissionConn> &open, bool downloadsOnly)
{
    QSet<QString> s;
    for (const TadmissionConn &c : open)
        if (!downloadsOnly || c.downloading)
            s.insert(c.address);
    return s.size();
}

} // namespace

QString countLimitName(TcountLimit which)
{
    return QString::fromLatin1(limitInfo(which).name);
}

qint64 countLimitValue(TcountLimit which)
{
    return opts().*limitInfo(which).member;
}

QString countLimitCaption(TcountLimit which)
{
    const qint64 v = countLimitValue(which);
    return countLimitName(which)
        + QStringLiteral(" (%1)").arg(v > 0 ? QString::number(v) : QStringLiteral("disabled"));
}

std::optional<qint64> parseCount(const QString &answer)
{
    const QString t = answer.trimmed();
    if (t.isEmpty())
        return 0;
    bool ok = false;
    const qint64 v = t.toLongLong(&ok);
    if (!ok || v < 0)
        return std::nullopt;
    return v;
}

QString countLimitWarning(TcountLimit which, qint64 limit, const QList<TadmissionConn> &open)
{
    if (limit <= 0)
        return {};
    switch (which) {
    case CL_MAX_CONNECTIONS:
        if (limit < open.size())
            return QStringLiteral("In this moment there are %1 active connections").arg(open.size());
        break;
    case CL_MAX_DOWNLOADS: {
        const qint64 dls = std::count_if(open.begin(), open.end(), [](const TadmissionConn &c) { return c.downloading; });
        if (limit < dls)
            return QStringLiteral("In this moment there are %1 active downloads").arg(dls);
        break;
    }
    case CL_MAX_CONNECTIONS_BY_IP:
    case CL_MAX_DOWNLOADS_BY_IP: {
        const QStringList over = addressesOver(open, limit, which == CL_MAX_DOWNLOADS_BY_IP);
        if (!over.isEmpty())
            return QStringLiteral("The following addresses exceed the limit:\r") + over.join(u'\r');
        break;
    }
    case CL_MAX_ADDRESSES:
    case CL_MAX_ADDRESSES_DOWNLOADING: {
        const bool dl = which == CL_MAX_ADDRESSES_DOWNLOADING;
        const qint64 n = distinctAddresses(open, dl);
        if (limit < n)
            return (dl ? QStringLiteral("In this moment there are %1 different addresses downloading")
                       : QStringLiteral("In this moment there are %1 different addresses"))
                .arg(n);
        break;
    }
    }
    return {};
}

bool askCountLimit(TcountLimit which)
{
    const TcountLimitInfo &i = limitInfo(which);
    if (!askCountValue(QString::fromLatin1(i.key), i.member, QStringLiteral("Set limit"),
                  QString::fromLatin1(i.text) + u'\r' + noLimits))
        return false;
    if (serveExists()) {
        const QString warning = countLimitWarning(which, countLimitValue(which), admissionSnapshot(serve().srv()));
        if (!warning.isEmpty())
            prompt().message(warning, PK_WARNING);
    }
    return true;
}

// ---- speed limits ----

std::optional<double> parseSpeed(const QString &answer)
{
    const QString t = answer.trimmed();
    if (t.isEmpty())
        return -1.0;
    bool ok = false;
    const double v = t.toDouble(&ok); // "." always: toDouble ignores the locale
    if (!ok || v < 0 || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QString speedLimitCaption(bool perAddress)
{
    const double v = perAddress ? opts().speedLimitIp : opts().speedLimit;
    return (perAddress ? QStringLiteral("Speed limit for single address") : QStringLiteral("Speed limit"))
        + QStringLiteral(" (%1)").arg(v < 0 ? QStringLiteral("disabled")
                                            : QString::asprintf("%.1f kB/s", v));
}

bool askSpeedLimit(bool perAddress)
{
    const double now = perAddress ? opts().speedLimitIp : opts().speedLimit;
    const bool showNow = perAddress ? now > 0 : now >= 0;
    const QString text = perAddress
        ? QStringLiteral("Max bandwidth for single address (KB/s).\r") + noLimits
        : QStringLiteral("Max bandwidth (KB/s).\r") + noLimits + u'\r';
    const std::optional<QString> answer
        = prompt().askText(text, QStringLiteral("Set limit"), showNow ? QString::number(now) : QString());
    if (!answer)
        return false;
    const std::optional<double> v = parseSpeed(*answer);
    if (!v) {
        prompt().message(invalidValue, PK_ERROR);
        return false;
    }
    if (perAddress) {
        setValueOption(QStringLiteral("speed-limit-ip"), QString::number(*v));
        if (serveExists())
            TperIp::global().setAddressLimit(serve(), QString(), *v);
        return true;
    }
    setValueOption(QStringLiteral("speed-limit"), QString::number(*v));
    setStreamingPaused(false);
    if (*v == 0)
        prompt().message(QStringLiteral("Zero is an effective limit.\rTo disable instead, leave empty."), PK_WARNING);
    return true;
}

bool streamingPaused()
{
    return serveExists() && serve().switches.pauseStreaming;
}

void setStreamingPaused(bool on)
{
    if (!serveExists())
        return;
    serve().switches.pauseStreaming = on;
    syncGlobalLimit(serve());
}

// ---- other values ----

bool askNoDownloadTimeout()
{
    if (!askCountValue(QStringLiteral("no-download-timeout"), &Toptions::noDownloadTimeout,
                  QStringLiteral("No downloads timeout"),
                  QStringLiteral("Enter the number of MINUTES with no download after which the program automatically "
                                 "shuts down.\rLeave blank to get no timeout.")))
        return false;
    // The countdown starts again from now.
    if (serveExists())
        serve().noteNetworkActivity();
    return true;
}

bool askConnectionsTimeout()
{
    return askCountValue(QStringLiteral("connections-timeout"), &Toptions::connectionsTimeout,
                    QStringLiteral("Connection inactivity timeout"),
                    QStringLiteral("The connection is kicked after a timeout.\rSpecify in seconds.\rLeave blank to "
                                   "get no timeout."));
}

bool askMinDiskSpace()
{
    return askIntValue(QStringLiteral("min-disk-space"), &Toptions::minDiskSpace, QStringLiteral("Min disk space"),
                     QStringLiteral("The upload will fail if your disk has less than the specified amount of free "
                                    "MegaBytes."));
}

bool askFlagNewFiles()
{
    return askIntValue(QStringLiteral("files-stay-flagged-for-minutes"), &Toptions::filesStayFlaggedForMinutes,
                     QStringLiteral("Flag new files"),
                     QStringLiteral("Enter the number of MINUTES files stay flagged from their addition.\rLeave blank "
                                    "to disable."));
}

bool askAutoSaveInterval()
{
    const QString what = QStringLiteral("file system");
    const qint64 now = opts().autoSaveVfsEvery;
    QString shown = now > 0 ? QString::number(now) : QString();
    for (;;) {
        const std::optional<QString> answer = prompt().askText(
            QStringLiteral("Auto-save %1.\rSpecify in seconds.\rLeave blank to disable.").arg(what),
            QStringLiteral("Auto-save %1").arg(what), shown);
        if (!answer)
            return false;
        const QString t = answer->trimmed();
        shown = t;
        qint64 v = 0;
        if (!t.isEmpty()) {
            bool ok = false;
            v = t.toLongLong(&ok);
            if (!ok) {
                prompt().message(invalidValue, PK_ERROR);
                continue;
            }
            if (v < 5) {
                prompt().message(QStringLiteral("We don't accept less than %1").arg(5), PK_ERROR);
                continue;
            }
        }
        if (v == now)
            return false;
        setValueOption(QStringLiteral("auto-save-vfs-every"), QString::number(v));
        return true;
    }
}

bool askGraphRate()
{
    const std::optional<QString> answer = prompt().askText(
        QStringLiteral("Tenths of second"), QStringLiteral("Graph refresh rate"), QString::number(opts().graphRate));
    if (!answer)
        return false;
    const QString t = answer->trimmed();
    bool ok = true;
    qint64 v = t.isEmpty() ? 10 : t.toLongLong(&ok);
    if (!ok) {
        prompt().message(invalidValue, PK_ERROR);
        return false;
    }
    v = std::max<qint64>(v, 1);
    if (v == opts().graphRate)
        return false;
    setValueOption(QStringLiteral("graph-rate"), QString::number(v));
    trafficGraph().reset();
    return true;
}

bool askAutoFingerprint()
{
    return askCountValue(QStringLiteral("auto-fingerprint"), &Toptions::autoFingerprint, QStringLiteral("Auto fingerprint"),
                    QStringLiteral("When you add files and no fingerprint is found, it is calculated.\rTo avoid long "
                                   "waitings, set a limit to file size (in KiloBytes).\rLeave empty to disable, and "
                                   "have no fingerprint created."));
}

bool askRenamePartialUploads()
{
    return askTextValue(QStringLiteral("rename-partial-uploads"), &Toptions::renamePartialUploads,
                   QStringLiteral("Rename partial uploads"),
                   QStringLiteral("This string will be appended to the filename.\r\rIf you need more control, enter a "
                                  "string with %name% in it, and this symbol will be replaced by the original "
                                  "filename."),
                   false);
}

bool askOpenInBrowser()
{
    return askTextValue(QStringLiteral("open-in-browser"), &Toptions::openInBrowser,
                   QStringLiteral("Open directly in browser"),
                   QStringLiteral("\"Suggest\" the browser to open directly the specified files.\rOther files should "
                                  "pop up a save dialog."),
                   false);
}

bool askLoginRealm()
{
    return askTextValue(QStringLiteral("login-realm"), &Toptions::loginRealm, QStringLiteral("Login realm"),
                   QStringLiteral("The realm string is shown on the user/pass dialog of the browser.\rHere you can "
                                  "customize the realm for the login button"),
                   true);
}

bool askAllowedReferer()
{
    return askTextValue(QStringLiteral("allowed-referer"), &Toptions::allowedReferer, QStringLiteral("Allowed referer"),
                   QStringLiteral("Leave empty to disable this feature.\rHere you can specify a mask.\rWhen a file is "
                                  "requested, if the mask doesn't match the \"Referer\" HTTP field, the request is "
                                  "rejected."),
                   false);
}

bool askCustomAddresses()
{
    const std::optional<QString> answer
        = prompt().askText(QStringLiteral("Specify your addresses, each per line"), QStringLiteral("Custom IP addresses"),
                           opts().customIp.join(u'\n'), true);
    if (!answer)
        return false;
    QStringList lines;
    for (const QString &l : answer->split(QRegularExpression(QStringLiteral("[\r\n]+"))))
        if (!l.trimmed().isEmpty())
            lines += l.trimmed();
    if (lines == opts().customIp)
        return false;
    setValueOption(QStringLiteral("custom-ip"), lines.join(u';'));
    return true;
}

QString noDownloadTimeoutCaption()
{
    const qint64 v = opts().noDownloadTimeout;
    return QStringLiteral("No downloads timeout (%1)").arg(v > 0 ? QString::number(v) : QStringLiteral("disabled"));
}

QString connectionsTimeoutCaption()
{
    return captionWithUnit(QStringLiteral("Connections inactivity timeout..."), opts().connectionsTimeout,
                    QStringLiteral("seconds"));
}

QString minDiskSpaceCaption()
{
    return captionWithUnit(QStringLiteral("Minimum disk space..."), opts().minDiskSpace, QStringLiteral("MB"));
}

QString flagNewFilesCaption()
{
    return captionWithUnit(QStringLiteral("Flag files added recently..."), opts().filesStayFlaggedForMinutes,
                    QStringLiteral("minutes"));
}

QString autoSaveCaption()
{
    const qint64 v = opts().autoSaveVfsEvery;
    return QStringLiteral("Auto save every: ")
        + (v > 0 ? QStringLiteral("%1 seconds").arg(v) : QStringLiteral("disabled"));
}

QString graphRateCaption()
{
    return QStringLiteral("Graph refresh rate: %1 (tenths of second)").arg(opts().graphRate);
}

QString autoFingerprintCaption()
{
    const qint64 v = opts().autoFingerprint;
    return v > 0 ? QStringLiteral("Create fingerprint on addition under %1 KB").arg(v)
                 : QStringLiteral("Create fingerprint on addition: disabled");
}
