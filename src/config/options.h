#pragma once
// The typed record of every option key. Other modules read options only from
// here (opts()); the configuration text is produced and applied by Tconfig
// through the key table of cfgKeys.h.
#include "config/ban.h"
#include "config/connColumn.h"
#include "config/iconMask.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

struct Toptions
{
    bool active = true;
    bool only1Instance = true;
    QString window = QStringLiteral("0,0,0,0");
    bool windowMax = false;
    bool easy = true;
    QString port;
    double filesBoxRatio = 0.3;
    qint64 logMaxLines = 2000;
    bool logReadOnly = true;
    QString logFileName;
    QString logFontName;
    qint64 logFontSize = 0;
    bool logDate = false;
    bool logTime = true;
    bool logToScreen = true;
    bool logOnlyServed = true;
    bool logServerStart = false;
    bool logServerStop = false;
    bool logConnections = false;
    bool logDisconnections = false;
    bool logBytesSent = false;
    bool logBytesReceived = false;
    bool logReplies = false;
    bool logRequests = false;
    bool logUploads = true;
    bool logDeletions = true;
    bool logFullDownloads = true;
    bool logDumpRequest = false;
    bool logBrowsing = true;
    bool logIcons = false;
    bool logProgress = false;
    bool logBanned = false;
    bool logOthers = true;
    bool logFileTabbed = false;
    QString logApacheFormat;
    QString tplFile;
    QString tplEditor;
    bool deleteDontAsk = false;
    bool freeLogin = false;
    bool confirmExit = false;
    bool keepBakUpdating = true;
    bool includePwdInPages = false;
    QString ip;
    QStringList customIp;
    QString listenOn;
    QString externalIpServer;
    QString dynamicDnsUpdater; // the URL itself; Base64 only in the text
    QString dynamicDnsUser;
    QString dynamicDnsHost;
    bool searchBetterIp = true;
    bool startMinimized = false;
    qint64 connectionsHeight = 150;
    qint64 filesStayFlaggedForMinutes = 0;
    bool autoSaveVfs = false;
    bool foldersBefore = true;
    bool linksBefore = true;
    bool useCommentAsRealm = true;
    bool getrightTemplate = true;
    bool autoSaveOptions = true;
    bool dontIncludePortInUrl = false;
    bool persistentConnections = true;
    bool modalOptions = true;
    bool beepOnFlash = false;
    bool preventLeeching = true;
    bool deletePartialUploads = false;
    QString renamePartialUploads;
    bool enableMacros = true;
    bool useSystemIcons = true;
    bool minimizeToTray = false;
    bool trayIconForEachDownload = true;
    bool showMainTrayIcon = false;
    bool alwaysOnTop = false;
    bool quitDontAsk = false;
    bool supportDescriptIon = true;
    bool oemDescriptIon = false;
    bool oemTar = false;
    bool enableFingerprints = true;
    bool saveFingerprints = false;
    qint64 autoFingerprint = 0;
    bool stopSpiders = true;
    bool backupSaving = true;
    bool recursiveListing = true;
    bool sendZofIdentifier = true;
    bool listHiddenFiles = false;
    bool listSystemFiles = false;
    bool listProtectedItems = false;
    bool enableNoDefault = false;
    bool browseLocalhost = true;
    QString addFolderDefault;
    QString defaultSorting = QStringLiteral("name");
    QString lastDialogFolder; // set to the working folder at start-up
    qint64 autoSaveVfsEvery = 0;
    double lastUpdateCheck = 0;
    QString allowedReferer;
    QString forwardedMask = QStringLiteral("::1;127.0.0.1");
    QString trayShows = QStringLiteral("downloads");
    QString trayMessage = QStringLiteral("%ip%\r\nUptime: %uptime%\r\nDownloads: %downloads%");
    double speedLimit = -1;
    double speedLimitIp = -1;
    qint64 maxIps = 0;
    qint64 maxIpsDownloading = 0;
    qint64 maxConnections = 0;
    qint64 maxConnectionsByIp = 0;
    qint64 maxContemporaryDls = 0;
    qint64 maxContemporaryDlsIp = 0;
    qint64 maxSessions = 100000;             // logged-in ones are dropped last
    qint64 maxAnonymousSessionsByIp = 500;   // per address (per /64 for IPv6)
    QString loginRealm;
    QString openInBrowser = QStringLiteral("*.htm;*.html;*.jpg;*.jpeg;*.gif;*.png;*.txt;*.swf;*.svg");
    QString flashOn = QStringLiteral("download");
    qint64 graphRate = 10;
    qint64 graphSize = 30;
    bool graphVisible = true;
    qint64 noDownloadTimeout = 0;
    qint64 connectionsTimeout = 60;
    qint64 requestTimeout = 30;   // seconds a request head may take; a body earns more
    qint64 requestMinRate = 500;  // bytes per second that earn a body one more second
    bool noReplyBan = false;
    QList<Tban> banList;
    QString addToFolder;
    QString lastFileOpen;
    bool reloadOnStartup = true;
    bool httpsUrl = false;
    bool findExternalOnStartup = false;
    bool encodeNonAscii = false;
    bool encodeSpaces = true;
    QStringList mimeTypes = defaultMimeTypes(); // flat pairs: mask, MIME type
    bool inBrowserIfMime = false;
    bool sandboxAllFiles = false; // not only files of folders visitors upload to
    QList<TiconMask> iconMasks;
    QMap<int, QByteArray> iconMasksUserImages; // index -> GIF bytes
    QStringList address2name; // flat pairs: name, address mask
    QStringList recentFiles;
    QStringList trustedFiles;
    // `accounts` live in the account table of the tree (vfs/account.h).
    bool accountNotesWrap = true;
    bool trayInsteadOfQuit = false;
    bool compressedBrowsing = true;
    bool useIsoDateFormat = false;
    bool hints4newcomers = true;
    bool saveTotals = true;
    bool logToolbarExpanded = false;
    bool numberFilesOnUpload = true;
    QString doNotLogAddress;
    QString lastExternalAddress;
    qint64 minDiskSpace = 0;
    // The byte totals less the server's counts of this run (out-total and
    // in-total are read and written through Tconfig, which adds them).
    qint64 outTotalOffset = 0;
    qint64 inTotalOffset = 0;
    qint64 hitsTotal = 0;
    qint64 downloadsTotal = 0;
    qint64 uploadTotal = 0;
    bool manyItemsWarning = true;
    bool loadSingleCommentFiles = true;
    bool copyUrlOnStart = false;
    QList<TconnColumn> connectionsColumns = defaultConnColumns();
    bool autoComment = false;
    bool updateDaily = true;
    bool delayedUpdate = false;
    bool testerUpdates = false;
    bool copyUrlOnAddition = true;
    QStringList ipServices;
    double ipServicesTime = 0;
    bool updateAutomatically = false;
    bool preventStandby = false;
    QStringList ipsEverConnected; // sorted, without duplicates
    // Where the update information and the self test's services are; empty
    // turns the service off (nothing is asked of anyone by default).
    QString updateInfoUrl;
    QString selfTestUrl;
    QString internetProbeUrl;
    // The other ports the self test tries when the current one fails.
    QString selfTestPorts = QStringLiteral("80,8123");
    // HTTPS beside plain HTTP: its port (empty: none), the PEM files of the
    // certificate chain and of its private key, Strict-Transport-Security on
    // its replies, and plain requests sent over to it.
    QString httpsPort;
    QString httpsCert;
    QString httpsKey;
    bool httpsHsts = false;
    bool httpsRedirect = false;

    // The built-in MIME pairs, flat (mask, type, mask, type...).
    static QStringList defaultMimeTypes();
    // How many of the built-in pairs are put back when missing.
    static constexpr int restoredMimePairs = 11;
};

// The program's options (owned by the application).
Toptions &opts();
