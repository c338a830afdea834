#include "config/cfgKeys.h"

#include "config/cfgCodec.h"
#include "config/config.h"
#include "util/encodings.h"
#include "vfs/account.h"

#include <QHash>
#include <QLocale>

#include <cmath>

// Keys whose value is not a plain member get an encoder and/or a decoder.
namespace {

std::optional<QString> encActive(const Tconfig &c)
{
    return cfgBool(c.hooks.serverActive ? c.hooks.serverActive() : c.o.active);
}

void decActive(Tconfig &c, const QString &v)
{
    c.applying.activeWish = parseCfgBool(v);
    if (!c.applying.alreadyStarted || !c.hooks.serverActive)
        c.o.active = c.applying.activeWish;
}

void decWindow(Tconfig &c, const QString &v)
{
    if (v != u"0,0,0,0")
        c.o.window = v;
}

void decPort(Tconfig &c, const QString &v)
{
    if (v == c.o.port)
        return;
    c.o.port = v;
    if (c.hooks.serverActive && c.hooks.serverActive() && c.hooks.restartServer)
        c.hooks.restartServer();
}

void decHttpsPort(Tconfig &c, const QString &v)
{
    if (v == c.o.httpsPort)
        return;
    c.o.httpsPort = v;
    if (c.hooks.serverActive && c.hooks.serverActive() && c.hooks.restartServer)
        c.hooks.restartServer();
}

void decForwardedMask(Tconfig &c, const QString &v)
{
    // Old default: the IPv4 loopback alone; widened to both loopbacks.
    c.o.forwardedMask = v == u"127.0.0.1" ? QStringLiteral("::1;127.0.0.1") : v;
}

std::optional<QString> encTrayMessage(const Tconfig &c)
{
    return escapeLineBreaks(c.o.trayMessage);
}

void decTrayMessage(Tconfig &c, const QString &v)
{
    c.o.trayMessage = unescapeLineBreaks(v);
}

std::optional<QString> encDynDns(const Tconfig &c)
{
    return QString::fromLatin1(c.o.dynamicDnsUpdater.toUtf8().toBase64());
}

void decDynDns(Tconfig &c, const QString &v)
{
    c.o.dynamicDnsUpdater = QString::fromUtf8(QByteArray::fromBase64(v.toLatin1()));
}

std::optional<QString> encBans(const Tconfig &c)
{
    return encodeBans(c.o.banList);
}

void decBans(Tconfig &c, const QString &value)
{
    QString v = value;
    // Builds before 018 separated bans with ";".
    if (c.applying.build < u"018" && v.contains(u';')) {
        v.replace(u';', u'|');
        c.applying.messages.append(
            QStringLiteral("Your ban configuration may have been screwed up.\rPlease verify it."));
    }
    c.o.banList = decodeBans(v);
}

std::optional<QString> encIconMasks(const Tconfig &c)
{
    return encodeIconMasks(c.o.iconMasks);
}

void decIconMasks(Tconfig &c, const QString &v)
{
    c.o.iconMasks = decodeIconMasks(v);
}

std::optional<QString> encUserImages(const Tconfig &c)
{
    // Only images that a mask still uses are worth keeping.
    QMap<int, QByteArray> used;
    for (const TiconMask &m : c.o.iconMasks)
        if (m.index >= firstUserImageIndex && c.o.iconMasksUserImages.contains(m.index))
            used.insert(m.index, c.o.iconMasksUserImages.value(m.index));
    return encodeUserImages(used);
}

void decUserImages(Tconfig &c, const QString &v)
{
    const QMap<int, QByteArray> images = decodeUserImages(v);
    for (auto it = images.cbegin(); it != images.cend(); ++it) {
        int newIndex = it.key();
        if (c.hooks.addUserImage)
            newIndex = c.hooks.addUserImage(it.value());
        c.o.iconMasksUserImages.insert(newIndex, it.value());
        if (newIndex == it.key())
            continue;
        for (TiconMask &m : c.o.iconMasks)
            if (m.index == it.key())
                m.index = newIndex;
    }
}

std::optional<QString> encAccounts(const Tconfig &c)
{
    return encodeAccounts(c.accounts.list);
}

void decAccounts(Tconfig &c, const QString &v)
{
    c.accounts.list = decodeAccounts(v);
}

std::optional<QString> encColumns(const Tconfig &c)
{
    return encodeConnColumns(c.o.connectionsColumns);
}

void decColumns(Tconfig &c, const QString &v)
{
    decodeConnColumns(v, c.o.connectionsColumns);
}

std::optional<QString> encIpsEver(const Tconfig &c)
{
    // From 50 addresses on the list lives in "zof.ips.txt" instead.
    if (c.o.ipsEverConnected.size() >= ipsInTextLimit)
        return std::nullopt;
    return c.o.ipsEverConnected.join(u';');
}

void decIpsEver(Tconfig &c, const QString &v)
{
    QStringList &list = c.o.ipsEverConnected;
    list += v.split(u';', Qt::SkipEmptyParts);
    list.sort();
    list.removeDuplicates();
}

// The byte totals: the offset kept in the options plus the server's count.
std::optional<QString> encOutTotal(const Tconfig &c)
{
    return QString::number(c.o.outTotalOffset + c.serverBytesSent());
}

void decOutTotal(Tconfig &c, const QString &v)
{
    c.o.outTotalOffset = parseCfgInt(v) - c.serverBytesSent();
}

std::optional<QString> encInTotal(const Tconfig &c)
{
    return QString::number(c.o.inTotalOffset + c.serverBytesReceived());
}

void decInTotal(Tconfig &c, const QString &v)
{
    c.o.inTotalOffset = parseCfgInt(v) - c.serverBytesReceived();
}

const TcfgKey kKeys[] = {
        {"active", CT_BOOL, &Toptions::active, 0, encActive, decActive},
        {"only-1-instance", CT_BOOL, &Toptions::only1Instance, 0},
        {"window", CT_TEXT, &Toptions::window, 0, nullptr, decWindow},
        {"window-max", CT_BOOL, &Toptions::windowMax, 0},
        {"easy", CT_BOOL, &Toptions::easy, 0},
        {"port", CT_TEXT, &Toptions::port, 0, nullptr, decPort},
        {"files-box-ratio", CT_REAL, &Toptions::filesBoxRatio, 0},
        {"log-max-lines", CT_INT, &Toptions::logMaxLines, 0},
        {"log-read-only", CT_BOOL, &Toptions::logReadOnly, 0},
        {"log-file-name", CT_TEXT, &Toptions::logFileName, 0},
        {"log-font-name", CT_TEXT, &Toptions::logFontName, 0},
        {"log-font-size", CT_INT, &Toptions::logFontSize, 0},
        {"log-date", CT_BOOL, &Toptions::logDate, 0},
        {"log-time", CT_BOOL, &Toptions::logTime, 0},
        {"log-to-screen", CT_BOOL, &Toptions::logToScreen, 0},
        {"log-only-served", CT_BOOL, &Toptions::logOnlyServed, 0},
        {"log-server-start", CT_BOOL, &Toptions::logServerStart, 0},
        {"log-server-stop", CT_BOOL, &Toptions::logServerStop, 0},
        {"log-connections", CT_BOOL, &Toptions::logConnections, 0},
        {"log-disconnections", CT_BOOL, &Toptions::logDisconnections, 0},
        {"log-bytes-sent", CT_BOOL, &Toptions::logBytesSent, 0},
        {"log-bytes-received", CT_BOOL, &Toptions::logBytesReceived, 0},
        {"log-replies", CT_BOOL, &Toptions::logReplies, 0},
        {"log-requests", CT_BOOL, &Toptions::logRequests, 0},
        {"log-uploads", CT_BOOL, &Toptions::logUploads, 0},
        {"log-deletions", CT_BOOL, &Toptions::logDeletions, 0},
        {"log-full-downloads", CT_BOOL, &Toptions::logFullDownloads, 0},
        {"log-dump-request", CT_BOOL, &Toptions::logDumpRequest, 0},
        {"log-browsing", CT_BOOL, &Toptions::logBrowsing, 0},
        {"log-icons", CT_BOOL, &Toptions::logIcons, 0},
        {"log-progress", CT_BOOL, &Toptions::logProgress, 0},
        {"log-banned", CT_BOOL, &Toptions::logBanned, 0},
        {"log-others", CT_BOOL, &Toptions::logOthers, 0},
        {"log-file-tabbed", CT_BOOL, &Toptions::logFileTabbed, 0},
        {"log-apache-format", CT_TEXT, &Toptions::logApacheFormat, 0},
        {"tpl-file", CT_TEXT, &Toptions::tplFile, 0},
        {"tpl-editor", CT_TEXT, &Toptions::tplEditor, 0},
        {"delete-dont-ask", CT_BOOL, &Toptions::deleteDontAsk, 0},
        {"free-login", CT_BOOL, &Toptions::freeLogin, 0},
        {"confirm-exit", CT_BOOL, &Toptions::confirmExit, 0},
        {"keep-bak-updating", CT_BOOL, &Toptions::keepBakUpdating, 0},
        {"include-pwd-in-pages", CT_BOOL, &Toptions::includePwdInPages, 0},
        {"ip", CT_TEXT, &Toptions::ip, 0},
        {"custom-ip", CT_LIST, &Toptions::customIp, ';'},
        {"listen-on", CT_TEXT, &Toptions::listenOn, 0},
        {"external-ip-server", CT_TEXT, &Toptions::externalIpServer, 0},
        {"dynamic-dns-updater", CT_ENC, std::monostate{}, 0, encDynDns, decDynDns},
        {"dynamic-dns-user", CT_TEXT, &Toptions::dynamicDnsUser, 0},
        {"dynamic-dns-host", CT_TEXT, &Toptions::dynamicDnsHost, 0},
        {"search-better-ip", CT_BOOL, &Toptions::searchBetterIp, 0},
        {"start-minimized", CT_BOOL, &Toptions::startMinimized, 0},
        {"connections-height", CT_INT, &Toptions::connectionsHeight, 0},
        {"files-stay-flagged-for-minutes", CT_INT, &Toptions::filesStayFlaggedForMinutes, 0},
        {"auto-save-vfs", CT_BOOL, &Toptions::autoSaveVfs, 0},
        {"folders-before", CT_BOOL, &Toptions::foldersBefore, 0},
        {"links-before", CT_BOOL, &Toptions::linksBefore, 0},
        {"use-comment-as-realm", CT_BOOL, &Toptions::useCommentAsRealm, 0},
        {"getright-template", CT_BOOL, &Toptions::getrightTemplate, 0},
        {"auto-save-options", CT_BOOL, &Toptions::autoSaveOptions, 0},
        {"dont-include-port-in-url", CT_BOOL, &Toptions::dontIncludePortInUrl, 0},
        {"persistent-connections", CT_BOOL, &Toptions::persistentConnections, 0},
        {"modal-options", CT_BOOL, &Toptions::modalOptions, 0},
        {"beep-on-flash", CT_BOOL, &Toptions::beepOnFlash, 0},
        {"prevent-leeching", CT_BOOL, &Toptions::preventLeeching, 0},
        {"delete-partial-uploads", CT_BOOL, &Toptions::deletePartialUploads, 0},
        {"rename-partial-uploads", CT_TEXT, &Toptions::renamePartialUploads, 0},
        {"enable-macros", CT_BOOL, &Toptions::enableMacros, 0},
        {"use-system-icons", CT_BOOL, &Toptions::useSystemIcons, 0},
        {"minimize-to-tray", CT_BOOL, &Toptions::minimizeToTray, 0},
        {"tray-icon-for-each-download", CT_BOOL, &Toptions::trayIconForEachDownload, 0},
        {"show-main-tray-icon", CT_BOOL, &Toptions::showMainTrayIcon, 0},
        {"always-on-top", CT_BOOL, &Toptions::alwaysOnTop, 0},
        {"quit-dont-ask", CT_BOOL, &Toptions::quitDontAsk, 0},
        {"support-descript.ion", CT_BOOL, &Toptions::supportDescriptIon, 0},
        {"oem-descript.ion", CT_BOOL, &Toptions::oemDescriptIon, 0},
        {"oem-tar", CT_BOOL, &Toptions::oemTar, 0},
        {"enable-fingerprints", CT_BOOL, &Toptions::enableFingerprints, 0},
        {"save-fingerprints", CT_BOOL, &Toptions::saveFingerprints, 0},
        {"auto-fingerprint", CT_INT, &Toptions::autoFingerprint, 0},
        {"stop-spiders", CT_BOOL, &Toptions::stopSpiders, 0},
        {"backup-saving", CT_BOOL, &Toptions::backupSaving, 0},
        {"recursive-listing", CT_BOOL, &Toptions::recursiveListing, 0},
        {"send-zof-identifier", CT_BOOL, &Toptions::sendZofIdentifier, 0},
        {"list-hidden-files", CT_BOOL, &Toptions::listHiddenFiles, 0},
        {"list-system-files", CT_BOOL, &Toptions::listSystemFiles, 0},
        {"list-protected-items", CT_BOOL, &Toptions::listProtectedItems, 0},
        {"enable-no-default", CT_BOOL, &Toptions::enableNoDefault, 0},
        {"browse-localhost", CT_BOOL, &Toptions::browseLocalhost, 0},
        {"add-folder-default", CT_TEXT, &Toptions::addFolderDefault, 0},
        {"default-sorting", CT_TEXT, &Toptions::defaultSorting, 0},
        {"last-dialog-folder", CT_TEXT, &Toptions::lastDialogFolder, 0},
        {"auto-save-vfs-every", CT_INT, &Toptions::autoSaveVfsEvery, 0},
        {"last-update-check", CT_TIME, &Toptions::lastUpdateCheck, 0},
        {"allowed-referer", CT_TEXT, &Toptions::allowedReferer, 0},
        {"forwarded-mask", CT_TEXT, &Toptions::forwardedMask, 0, nullptr, decForwardedMask},
        {"tray-shows", CT_TEXT, &Toptions::trayShows, 0},
        {"tray-message", CT_TEXT, &Toptions::trayMessage, 0, encTrayMessage, decTrayMessage},
        {"speed-limit", CT_REAL, &Toptions::speedLimit, 0},
        {"speed-limit-ip", CT_REAL, &Toptions::speedLimitIp, 0},
        {"max-ips", CT_INT, &Toptions::maxIps, 0},
        {"max-ips-downloading", CT_INT, &Toptions::maxIpsDownloading, 0},
        {"max-connections", CT_INT, &Toptions::maxConnections, 0},
        {"max-connections-by-ip", CT_INT, &Toptions::maxConnectionsByIp, 0},
        {"max-contemporary-dls", CT_INT, &Toptions::maxContemporaryDls, 0},
        {"max-contemporary-dls-ip", CT_INT, &Toptions::maxContemporaryDlsIp, 0},
        {"max-sessions", CT_INT, &Toptions::maxSessions, 0},
        {"max-anonymous-sessions-by-ip", CT_INT, &Toptions::maxAnonymousSessionsByIp, 0},
        {"login-realm", CT_TEXT, &Toptions::loginRealm, 0},
        {"open-in-browser", CT_TEXT, &Toptions::openInBrowser, 0},
        {"flash-on", CT_TEXT, &Toptions::flashOn, 0},
        {"graph-rate", CT_INT, &Toptions::graphRate, 0},
        {"graph-size", CT_INT, &Toptions::graphSize, 0},
        {"graph-visible", CT_BOOL, &Toptions::graphVisible, 0},
        {"no-download-timeout", CT_INT, &Toptions::noDownloadTimeout, 0},
        {"connections-timeout", CT_INT, &Toptions::connectionsTimeout, 0},
        {"request-timeout", CT_INT, &Toptions::requestTimeout, 0},
        {"request-min-rate", CT_INT, &Toptions::requestMinRate, 0},
        {"no-reply-ban", CT_BOOL, &Toptions::noReplyBan, 0},
        {"ban-list", CT_ENC, std::monostate{}, 0, encBans, decBans},
        {"add-to-folder", CT_TEXT, &Toptions::addToFolder, 0},
        {"last-file-open", CT_TEXT, &Toptions::lastFileOpen, 0},
        {"reload-on-startup", CT_BOOL, &Toptions::reloadOnStartup, 0},
        {"https-url", CT_BOOL, &Toptions::httpsUrl, 0},
        {"find-external-on-startup", CT_BOOL, &Toptions::findExternalOnStartup, 0},
        {"encode-non-ascii", CT_BOOL, &Toptions::encodeNonAscii, 0},
        {"encode-spaces", CT_BOOL, &Toptions::encodeSpaces, 0},
        {"mime-types", CT_PAIRS, &Toptions::mimeTypes, '|'},
        {"in-browser-if-mime", CT_BOOL, &Toptions::inBrowserIfMime, 0},
        {"sandbox-all-files", CT_BOOL, &Toptions::sandboxAllFiles, 0},
        {"icon-masks", CT_ENC, std::monostate{}, 0, encIconMasks, decIconMasks},
        {"icon-masks-user-images", CT_ENC, std::monostate{}, 0, encUserImages, decUserImages},
        {"address2name", CT_PAIRS, &Toptions::address2name, '|'},
        {"recent-files", CT_LIST, &Toptions::recentFiles, '|'},
        {"trusted-files", CT_LIST, &Toptions::trustedFiles, '|'},
        {"accounts", CT_ENC, std::monostate{}, 0, encAccounts, decAccounts},
        {"account-notes-wrap", CT_BOOL, &Toptions::accountNotesWrap, 0},
        {"tray-instead-of-quit", CT_BOOL, &Toptions::trayInsteadOfQuit, 0},
        {"compressed-browsing", CT_BOOL, &Toptions::compressedBrowsing, 0},
        {"use-iso-date-format", CT_BOOL, &Toptions::useIsoDateFormat, 0},
        {"hints4newcomers", CT_BOOL, &Toptions::hints4newcomers, 0},
        {"save-totals", CT_BOOL, &Toptions::saveTotals, 0},
        {"log-toolbar-expanded", CT_BOOL, &Toptions::logToolbarExpanded, 0},
        {"number-files-on-upload", CT_BOOL, &Toptions::numberFilesOnUpload, 0},
        {"do-not-log-address", CT_TEXT, &Toptions::doNotLogAddress, 0},
        {"last-external-address", CT_TEXT, &Toptions::lastExternalAddress, 0},
        {"min-disk-space", CT_INT, &Toptions::minDiskSpace, 0},
        {"out-total", CT_INT, &Toptions::outTotalOffset, 0, encOutTotal, decOutTotal},
        {"in-total", CT_INT, &Toptions::inTotalOffset, 0, encInTotal, decInTotal},
        {"hits-total", CT_INT, &Toptions::hitsTotal, 0},
        {"downloads-total", CT_INT, &Toptions::downloadsTotal, 0},
        {"upload-total", CT_INT, &Toptions::uploadTotal, 0},
        {"many-items-warning", CT_BOOL, &Toptions::manyItemsWarning, 0},
        {"load-single-comment-files", CT_BOOL, &Toptions::loadSingleCommentFiles, 0},
        {"copy-url-on-start", CT_BOOL, &Toptions::copyUrlOnStart, 0},
        {"connections-columns", CT_ENC, std::monostate{}, 0, encColumns, decColumns},
        {"auto-comment", CT_BOOL, &Toptions::autoComment, 0},
        {"update-daily", CT_BOOL, &Toptions::updateDaily, 0},
        {"delayed-update", CT_BOOL, &Toptions::delayedUpdate, 0},
        {"tester-updates", CT_BOOL, &Toptions::testerUpdates, 0},
        {"copy-url-on-addition", CT_BOOL, &Toptions::copyUrlOnAddition, 0},
        {"ip-services", CT_LIST, &Toptions::ipServices, ';'},
        {"ip-services-time", CT_TIME, &Toptions::ipServicesTime, 0},
        {"update-automatically", CT_BOOL, &Toptions::updateAutomatically, 0},
        {"prevent-standby", CT_BOOL, &Toptions::preventStandby, 0},
        {"ips-ever-connected", CT_LIST, &Toptions::ipsEverConnected, ';', encIpsEver, decIpsEver},
        {"update-info-url", CT_TEXT, &Toptions::updateInfoUrl, 0},
        {"self-test-url", CT_TEXT, &Toptions::selfTestUrl, 0},
        {"internet-probe-url", CT_TEXT, &Toptions::internetProbeUrl, 0},
        {"self-test-ports", CT_TEXT, &Toptions::selfTestPorts, 0},
        {"https-port", CT_TEXT, &Toptions::httpsPort, 0, nullptr, decHttpsPort},
        {"https-cert", CT_TEXT, &Toptions::httpsCert, 0},
        {"https-key", CT_TEXT, &Toptions::httpsKey, 0},
        {"https-hsts", CT_BOOL, &Toptions::httpsHsts, 0},
        {"https-redirect", CT_BOOL, &Toptions::httpsRedirect, 0},
};

} // namespace

std::span<const TcfgKey> cfgKeys()
{
    return kKeys;
}

const TcfgKey *findCfgKey(QStringView key)
{
    static const QHash<QString, const TcfgKey *> index = [] {
        QHash<QString, const TcfgKey *> h;
        for (const TcfgKey &k : kKeys)
            h.insert(QString::fromLatin1(k.key), &k);
        return h;
    }();
    return index.value(key.toString(), nullptr);
}

QString cfgReal(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

double parseCfgReal(const QString &s)
{
    bool ok = false;
    const double v = s.trimmed().toDouble(&ok); // C locale: "." always
    return ok && std::isfinite(v) ? v : 0;
}

qint64 parseCfgInt(const QString &s)
{
    bool ok = false;
    const qint64 v = s.trimmed().toLongLong(&ok);
    return ok ? v : 0;
}
