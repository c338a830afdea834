#include "net/updater.h"

#include "config/config.h"
#include "config/options.h"
#include "config/version.h"
#include "log/log.h"
#include "net/httpClient.h"
#include "util/dateTime.h"
#include "util/files.h"
#include "util/prompt.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <cstdio>

namespace {

const QString networkError = QStringLiteral("Network error. Request failed.");

QString localInfoPath()
{
    return QDir::current().absoluteFilePath(localUpdateInfoName());
}

bool renameOver(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

bool looksLikeVersionOutput(const QString &output)
{
    static const QRegularExpression line(QStringLiteral("^ZOF \\S+"), QRegularExpression::MultilineOption);
    return line.match(output).hasMatch();
}

Tupdater::Tupdater(ThttpClient &client, QString programFile)
    : web(client), program(std::move(programFile))
{
}

void Tupdater::progress(const QString &text)
{
    if (hooks.progress)
        hooks.progress(text);
}

std::optional<TupdateInfo> Tupdater::fetchUpdateInfo()
{
    const bool local = QFileInfo(localInfoPath()).isFile();
    if (!local && opts().updateInfoUrl.isEmpty())
        return std::nullopt; // no location: nothing is asked of anyone
    opts().lastUpdateCheck = now();
    const QString marker = cfg().places.updateCheckTmp;
    if (!marker.isEmpty())
        saveFile(marker, QByteArray());
    progress(QStringLiteral("Requesting..."));
    QString text;
    if (local) {
        prompt().message(QStringLiteral("Update info has been read from local file.\r"
                                        "To resume normal operation of the updater, delete the file "
                                        "zof.updateinfo.txt from the ZOF program folder."));
        text = loadTextFile(localInfoPath());
    } else {
        text = web.httpGet(opts().updateInfoUrl).value_or(QString());
    }
    lastInfo = TupdateInfo::parse(text);
    return lastInfo;
}

void Tupdater::showNotices(const TupdateInfo &info)
{
    for (const QString &n : versionNotices(info.section(QStringLiteral("version notice")), zofVersion(), zofBuild()))
        prompt().message(n, PK_WARNING);
}

void Tupdater::autoCheckUpdates()
{
    if (!autoCheckDue(opts().lastUpdateCheck, now()))
        return;
    if (!QFileInfo(localInfoPath()).isFile() && opts().updateInfoUrl.isEmpty())
        return;
    if (hooks.status)
        hooks.status(QStringLiteral("Checking for updates"), 5);
    const std::optional<TupdateInfo> info = fetchUpdateInfo();
    TupdateOffer offer;
    if (info)
        offer = bestOffer(*info, zofBuild());
    if (opts().logOthers)
        add2log(QStringLiteral("Check update: ")
                + (offer.url.isEmpty() ? QStringLiteral("no new version")
                                       : QStringLiteral("new version found: ") + offerText(offer, zofVersion(), zofBuild())));
    if (info)
        showNotices(*info);
    if (hooks.status)
        hooks.status(QString(), 0);
    if (offer.url.isEmpty())
        return;
    if (opts().updateAutomatically && installUpdate(offer.url))
        return;
    offeredUpdateUrl = offer.url;
}

void Tupdater::manualCheck()
{
    if (!QFileInfo(localInfoPath()).isFile() && opts().updateInfoUrl.isEmpty()) {
        prompt().message(QStringLiteral("The update check is not configured: the option update-info-url "
                                        "is empty."), PK_WARNING);
        return;
    }
    progress(QStringLiteral("Searching for updates..."));
    const std::optional<TupdateInfo> info = fetchUpdateInfo();
    if (!info) {
        prompt().message(networkError, PK_ERROR);
        return;
    }
    const QString stable = info->section(QStringLiteral("last stable"));
    QString untested = info->section(QStringLiteral("last untested"));
    if (untested.isEmpty())
        untested = QStringLiteral("none");
    prompt().message(QStringLiteral("Last stable version: %1\r\rLast untested version: %2\r").arg(stable, untested));
    QString url;
    for (const QString &channel : {QStringLiteral("stable"), QStringLiteral("untested")}) {
        const TupdateOffer o = channelOffer(*info, channel, zofBuild());
        if (!o.url.isEmpty()) {
            prompt().message(QStringLiteral("There's a new version available online: %1").arg(o.version));
            url = o.url;
            break;
        }
    }
    const QString notice = info->section(QStringLiteral("notice"));
    if (!notice.isEmpty())
        prompt().message(notice);
    showNotices(*info);
    promptUpdate(url);
}

void Tupdater::promptUpdate(const QString &url)
{
    if (url.isEmpty())
        return;
    if (!opts().updateAutomatically
        && prompt().question(QStringLiteral("You are invited to use the new version.\r\rUpdate now?"),
                             PB_YES | PB_NO, PB_NO) != PB_YES)
        return;
    installUpdate(url);
}

bool Tupdater::installUpdate(const QString &url)
{
    if (!opts().only1Instance) {
        prompt().message(QStringLiteral("The auto-update feature cannot work because it requires the \"Only 1 "
                                        "instance\" option enabled.\r\rYour browser will now be pointed to the "
                                        "update, so you can install it manually."), PK_WARNING);
        if (hooks.openInBrowser)
            hooks.openInBrowser(url);
        return false;
    }
    const QString folder = QFileInfo(program).absolutePath();
    if (!QFileInfo(folder).isWritable()) {
        prompt().message(QStringLiteral("The update cannot be installed here: the program's folder %1 is not "
                                        "writable (a packaged installation is updated by its package manager).")
                             .arg(folder), PK_ERROR);
        return false;
    }
    const QString sha256 = lastInfo ? checksumFor(*lastInfo, url) : QString();
    if (url.startsWith(QStringLiteral("http:"), Qt::CaseInsensitive) && sha256.isEmpty()) {
        prompt().message(QStringLiteral("The update was not installed: it comes over plain HTTP and the update "
                                        "information gives no checksum for it."), PK_ERROR);
        return false;
    }
    if (opts().delayedUpdate && hooks.openConnections && hooks.openConnections() > 0) {
        pendingUpdateUrl = url;
        if (hooks.stopListening)
            hooks.stopListening();
        if (hooks.status)
            hooks.status(QStringLiteral("Waiting for last requests to be served, then we'll update"), 20);
        return true;
    }
    pendingUpdateUrl.clear();
    if (hooks.leaveTree && !hooks.leaveTree())
        return false;
    progress(QStringLiteral("Downloading new version..."));
    const QString fresh = program + QStringLiteral(".new");
    if (!download(url, fresh))
        return false;
    progress(QStringLiteral("Processing..."));
    if (!verify(fresh, sha256) || !swapIn(fresh))
        return false;
    if (hooks.restart)
        hooks.restart();
    return true;
}

bool Tupdater::download(const QString &url, const QString &target)
{
    QFileInfo existing(target);
    if (existing.isFile() && existing.size() > 0 && existing.size() == web.httpSize(url))
        return true;
    {
        QFile probe(target);
        if (!probe.open(QIODevice::WriteOnly)) {
            if (!(hooks.closing && hooks.closing()))
                prompt().message(QStringLiteral("Cannot save the update"), PK_ERROR);
            return false;
        }
    }
    if (web.httpDownload(url, target, 2))
        return true;
    QFile::remove(target);
    if (!(hooks.closing && hooks.closing()))
        prompt().message(networkError, PK_ERROR);
    return false;
}

// The downloaded file must match its checksum (when one is known) and run:
// `--version` within a few seconds, printing a version line.
bool Tupdater::verify(const QString &path, const QString &sha256)
{
    const auto refuse = [&](const QString &why) {
        QFile::remove(path);
        prompt().message(QStringLiteral("The update was not installed: ") + why, PK_ERROR);
        return false;
    };
    QFile f(path);
    if (f.size() <= 0 || !f.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("the downloaded file is empty."));
    if (!sha256.isEmpty()) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(&f);
        if (QString::fromLatin1(hash.result().toHex()) != sha256)
            return refuse(QStringLiteral("the downloaded file does not match its checksum."));
    }
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(path, {QStringLiteral("--version")});
    const bool ended = run.waitForStarted(versionCheckMs) && run.waitForFinished(versionCheckMs);
    if (!ended) {
        run.kill();
        run.waitForFinished(1000);
        return refuse(QStringLiteral("the new program does not run."));
    }
    if (run.exitStatus() != QProcess::NormalExit || !looksLikeVersionOutput(QString::fromLocal8Bit(run.readAll())))
        return refuse(QStringLiteral("the new program does not tell its version."));
    return true;
}

// Rename, so that the program file is always whole: the old one moves to
// "<program>.old" first (unless keep-bak-updating is off), and comes back
// when the new one cannot take its place.
bool Tupdater::swapIn(const QString &fresh)
{
    const QString old = program + QStringLiteral(".old");
    const bool keep = opts().keepBakUpdating;
    if (keep) {
        QFile::remove(old);
        if (!renameOver(program, old)) {
            QFile::remove(fresh);
            prompt().message(QStringLiteral("The update was not installed: the program file cannot be moved."), PK_ERROR);
            return false;
        }
    }
    if (renameOver(fresh, program))
        return true;
    if (keep)
        renameOver(old, program);
    QFile::remove(fresh);
    prompt().message(QStringLiteral("The update was not installed: the new program file cannot take its place."), PK_ERROR);
    return false;
}

bool Tupdater::revertUpdate()
{
    const QString old = program + QStringLiteral(".old");
    if (!QFileInfo(old).isFile())
        return false;
    progress(QStringLiteral("Processing..."));
    if (!renameOver(old, program)) {
        prompt().message(QStringLiteral("The previous version cannot be put back."), PK_ERROR);
        return false;
    }
    if (hooks.restart)
        hooks.restart();
    return true;
}

void Tupdater::runPending()
{
    if (pendingUpdateUrl.isEmpty() || !hooks.openConnections || hooks.openConnections() > 0)
        return;
    const QString url = std::exchange(pendingUpdateUrl, QString());
    const bool delayed = opts().delayedUpdate;
    opts().delayedUpdate = false; // no connection is left: install now
    const bool installed = installUpdate(url);
    opts().delayedUpdate = delayed;
    if (!installed && hooks.resumeListening)
        hooks.resumeListening();
}
