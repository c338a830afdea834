#include "ui/mainMenu.h"

#include "app/netWiring.h"
#include "app/program.h"
#include "app/selfTestWiring.h"
#include "app/serverSwitch.h"
#include "app/statsWiring.h"
#include "app/updateWiring.h"
#include "app/urlAddressWiring.h"
#include "config/cfgKeys.h"
#include "config/config.h"
#include "config/options.h"
#include "config/version.h"
#include "net/ddnsUpdater.h"
#include "net/ddnsWizards.h"
#include "script/macroEngine.h"
#include "serve/connCommands.h"
#include "serve/serve.h"
#include "serve/trafficTotals.h"
#include "ui/closing.h"
#include "ui/graphView.h"
#include "ui/mainWindow.h"
#include "ui/optionsDialog.h"
#include "ui/smallDialogs.h"
#include "ui/templateCommands.h"
#include "ui/valuePrompts.h"
#include "util/prompt.h"
#include "vfs/treeAdd.h"
#include "vfs/vfs.h"
#include "vfs/vfsStore.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QStatusBar>
#include <QUrl>

#include <optional>

TmenuSource &desktopMenuSource()
{
    static TmenuSource source;
    return source;
}

const QString MSG_NOT_AVAILABLE_YET = QStringLiteral("This command is not available yet.");

namespace {

using Tentries = QList<TmenuEntry>;

TmenuEntry menuCommand(const QString &caption, std::function<void()> run, TmenuClass cls = MC_ALWAYS)
{
    TmenuEntry e;
    e.caption = caption;
    e.run = std::move(run);
    e.cls = cls;
    return e;
}

TmenuEntry menuOption(const QString &caption, const char *key, TmenuClass cls = MC_ALWAYS)
{
    TmenuEntry e;
    e.caption = caption;
    e.optionKey = QString::fromLatin1(key);
    e.cls = cls;
    return e;
}

TmenuEntry menuGroup(const QString &caption, Tentries children, TmenuClass cls = MC_ALWAYS)
{
    TmenuEntry e;
    e.caption = caption;
    e.children = std::move(children);
    e.cls = cls;
    return e;
}

// A command whose window comes later.
TmenuEntry menuLater(const QString &caption, TmenuClass cls = MC_ALWAYS)
{
    return menuCommand(caption, [] { prompt().message(MSG_NOT_AVAILABLE_YET, PK_INFO); }, cls);
}

// A command of the desktop integration, found by its caption when the menu
// opens or the key is pressed; `checkable` shows the desktop's check mark.
TmenuEntry menuDesktop(const QString &caption, TmenuClass cls = MC_ALWAYS, bool checkable = false)
{
    const auto find = [caption]() -> std::optional<TmenuEntry> {
        if (!desktopMenuSource())
            return std::nullopt;
        const QList<TmenuEntry> entries = desktopMenuSource()();
        if (const TmenuEntry *e = findMenuEntry(entries, caption))
            return *e;
        return std::nullopt;
    };
    TmenuEntry e = menuLater(caption, cls);
    e.run = [find] {
        if (const std::optional<TmenuEntry> d = find())
            triggerMenuEntry(*d);
        else
            prompt().message(MSG_NOT_AVAILABLE_YET, PK_INFO);
    };
    e.liveCaption = [find, caption] {
        const std::optional<TmenuEntry> d = find();
        return d ? menuEntryCaption(*d) : caption;
    };
    if (checkable)
        e.checked = [find] {
            const std::optional<TmenuEntry> d = find();
            return d && menuEntryChecked(*d);
        };
    return e;
}

// A value box: its caption follows the value.
TmenuEntry menuValue(const QString &caption, std::function<QString()> live, std::function<void()> ask,
                 TmenuClass cls = MC_ALWAYS)
{
    TmenuEntry e = menuCommand(caption, std::move(ask), cls);
    e.liveCaption = std::move(live);
    return e;
}

QString menuTextOption(const char *key)
{
    const TcfgKey *k = findCfgKey(QString::fromLatin1(key));
    if (!k || !std::holds_alternative<QString Toptions::*>(k->member))
        return {};
    return opts().*std::get<QString Toptions::*>(k->member);
}

void setMenuOption(const QString &key, const QString &v)
{
    cfg().setCfg(key + u'=' + v, true);
}

// One choice of a text option.
TmenuEntry menuChoice(const QString &caption, const char *key, const QString &v, TmenuClass cls = MC_ALWAYS)
{
    const QString k = QString::fromLatin1(key);
    TmenuEntry e = menuCommand(caption, [k, v] { setMenuOption(k, v); }, cls);
    e.radio = true;
    e.checked = [key, v] { return menuTextOption(key) == v; };
    return e;
}

TmenuEntry menuWebPage(const QString &caption, const char *url)
{
    return menuCommand(caption, [url] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(url))); });
}

TmenuEntry menuServerSwitch(bool TserveSwitches::*flag, const QString &caption)
{
    TmenuEntry e = menuCommand(caption, [flag] {
        if (serveExists())
            serve().switches.*flag = !(serve().switches.*flag);
    }, MC_EXPERT);
    e.checked = [flag] { return serveExists() && serve().switches.*flag; };
    return e;
}

void menuCopyToClipboard(const QString &text)
{
    QApplication::clipboard()->setText(text);
}

void menuAddFromDialog(TmainWindow &w, bool folder)
{
    QStringList paths;
    if (folder) {
        const QString dir = QFileDialog::getExistingDirectory(&w, QString(), opts().lastDialogFolder);
        if (!dir.isEmpty())
            paths += dir;
    } else {
        paths = QFileDialog::getOpenFileNames(&w, QString(), opts().lastDialogFolder);
    }
    if (paths.isEmpty())
        return;
    opts().lastDialogFolder = QFileInfo(paths.first()).absolutePath();
    TtreeAdder adder(Tvfs::instance());
    adder.addDroppedPaths(paths.join(QStringLiteral("\r\n")), adder.handOverTarget());
}

const char *const mainUploadHowTo
    = "1. Add a folder (choose \"real folder\")\r\r"
      "You should now see a RED folder in your virtual file system, inside ZOF\r\r"
      "2. Right click on this folder\r"
      "3. Properties -> Permissions -> Upload\r"
      "4. Check on \"Anyone\"\r"
      "5. Now anyone who has access to your ZOF server can upload files to you";

Tentries mainOtherOptions(TmainWindow &w)
{
    TmenuEntry mode;
    mode.caption = QStringLiteral("Switch to expert mode");
    mode.liveCaption = [&w] {
        return w.expert() ? QStringLiteral("Switch to Easy mode") : QStringLiteral("Switch to Expert mode");
    };
    mode.key = QKeySequence(Qt::Key_F5);
    mode.run = [&w] { w.setExpert(!w.expert()); };

    TmenuEntry accounts = menuCommand(QStringLiteral("User accounts..."), [&w] { showOptionsDialog(&w, OP_ACCOUNTS); }, MC_EXPERT);
    accounts.key = QKeySequence(Qt::Key_F7);
    TmenuEntry events = menuDesktop(QStringLiteral("Edit event scripts..."));
    events.key = QKeySequence(Qt::ALT | Qt::Key_F6);
    TmenuEntry persistent = menuOption(QStringLiteral("Persistent connections"), "persistent-connections", MC_EXPERT);
    persistent.run = [] {
        // Connections kept open for the next request go now.
        if (!opts().persistentConnections && serveExists())
            kickIdle(serve().srv());
    };
    TmenuEntry onTop = menuOption(QStringLiteral("Always on top"), "always-on-top");
    onTop.run = [&w] {
        w.setWindowFlag(Qt::WindowStaysOnTopHint, opts().alwaysOnTop);
        w.show();
    };
    return {
        mode,
        accounts,
        menuDesktop(QStringLiteral("Integrate in shell context menu"), MC_EXPERT),
        menuOption(QStringLiteral("Auto-copy URL on addition"), "copy-url-on-addition"),
        onTop,
        menuOption(QStringLiteral("Send ZOF identifier"), "send-zof-identifier", MC_EXPERT),
        persistent,
        menuOption(QStringLiteral("Specific HTML for download managers"), "getright-template", MC_EXPERT),
        menuValue(QStringLiteral("Graph refresh rate..."), graphRateCaption, [] { askGraphRate(); }, MC_EXPERT),
        menuCommand(QStringLiteral("MIME types..."), [&w] { showOptionsDialog(&w, OP_MIME); }, MC_EXPERT),
        menuCommand(QStringLiteral("Open directly in browser..."), [] { askOpenInBrowser(); }, MC_EXPERT),
        menuOption(QStringLiteral("Accept any login for unprotected resources"), "free-login", MC_EXPERT),
        menuOption(QStringLiteral("Use comment as realm"), "use-comment-as-realm", MC_EXPERT),
        menuCommand(QStringLiteral("Login realm..."), [] { askLoginRealm(); }, MC_EXPERT),
        menuOption(QStringLiteral("Hints for newcomers"), "hints4newcomers", MC_EXPERT),
        menuOption(QStringLiteral("Compressed browsing"), "compressed-browsing", MC_EXPERT),
        menuOption(QStringLiteral("Modal dialog for options"), "modal-options", MC_EXPERT),
        menuOption(QStringLiteral("Use ISO date format"), "use-iso-date-format", MC_EXPERT),
        menuOption(QStringLiteral("Browse using localhost"), "browse-localhost", MC_EXPERT),
        menuOption(QStringLiteral("Enable ~nodefault"), "enable-no-default", MC_EXPERT),
        menuOption(QStringLiteral("Prevent system standby on network activity"), "prevent-standby", MC_EXPERT),
        menuLater(QStringLiteral("Add icons..."), MC_EXPERT),
        menuCommand(QStringLiteral("Change port..."), [&w] {
            portPrompt();
            w.refreshCaptions();
        }),
        menuOption(QStringLiteral("Input comment on file addition"), "auto-comment", MC_EXPERT),
        menuGroup(QStringLiteral("Default sorting"),
              {menuChoice(QStringLiteral("Name"), "default-sorting", QStringLiteral("name")),
               menuChoice(QStringLiteral("Extension"), "default-sorting", QStringLiteral("ext")),
               menuChoice(QStringLiteral("Size"), "default-sorting", QStringLiteral("size")),
               menuChoice(QStringLiteral("Time"), "default-sorting", QStringLiteral("time")),
               menuChoice(QStringLiteral("Hits"), "default-sorting", QStringLiteral("hits"))},
              MC_EXPERT),
        events,
        menuOption(QStringLiteral("OEM file names for TAR archives"), "oem-tar"),
    };
}

Tentries mainTemplateMenu(TmainWindow &w)
{
    TmenuEntry edit = menuCommand(QStringLiteral("Edit..."), [] { editTemplate(); });
    edit.key = QKeySequence(Qt::Key_F6);
    TmenuEntry restore = menuCommand(QStringLiteral("Restore default"), [&w] {
        if (restoreDefaultTemplate())
            w.statusBar()->showMessage(QStringLiteral("The template has been reset"), 5000);
    });
    restore.enabled = [] { return !opts().tplFile.isEmpty(); };
    TmenuEntry macros = menuCommand(QStringLiteral("Enable macros"), [] { switchMacros(); });
    macros.checked = [] { return opts().enableMacros; };
    return {
        edit,
        menuCommand(QStringLiteral("Change file..."), [&w] {
            changeTemplateFile(QFileDialog::getOpenFileName(&w, QStringLiteral("Change template file"),
                                                            opts().lastDialogFolder,
                                                            QStringLiteral("Template file (*.tpl)")));
        }),
        menuCommand(QStringLiteral("Change editor..."), [&w] {
            const QString fn = QFileDialog::getOpenFileName(&w, QString(), QString(), QStringLiteral("Programs (*)"));
            if (!fn.isEmpty())
                setMenuOption(QStringLiteral("tpl-editor"), fn);
        }),
        restore,
        macros,
    };
}

Tentries mainUploadMenu()
{
    TmenuEntry rename = menuCommand(QStringLiteral("Rename partial uploads..."), [] { askRenamePartialUploads(); },
                                MC_EXPERT);
    rename.enabled = [] { return !opts().deletePartialUploads; };
    return {
        menuCommand(QStringLiteral("How to?"), [] { prompt().message(QString::fromLatin1(mainUploadHowTo), PK_INFO); }),
        menuOption(QStringLiteral("Delete partial uploads"), "delete-partial-uploads", MC_EXPERT),
        rename,
        menuOption(QStringLiteral("Number files on upload instead of overwriting"), "number-files-on-upload", MC_EXPERT),
    };
}

Tentries mainStartExitMenu()
{
    return {
        menuOption(QStringLiteral("Auto-copy URL on start"), "copy-url-on-start"),
        menuOption(QStringLiteral("Start minimized"), "start-minimized"),
        menuOption(QStringLiteral("Reload on startup VFS file previously open"), "reload-on-startup"),
        menuOption(QStringLiteral("Save totals"), "save-totals", MC_EXPERT),
        menuOption(QStringLiteral("Auto-save VFS on exit"), "auto-save-vfs"),
        menuGroup(QStringLiteral("Auto-close"),
              {menuValue(QStringLiteral("No download timeout..."), noDownloadTimeoutCaption, [] { askNoDownloadTimeout(); })}),
        menuOption(QStringLiteral("Only 1 instance"), "only-1-instance", MC_EXPERT),
        menuOption(QStringLiteral("Confirm exit"), "confirm-exit"),
        menuOption(QStringLiteral("Find external address on startup"), "find-external-on-startup", MC_EXPERT),
        menuDesktop(QStringLiteral("Run ZOF when the desktop session starts"), MC_ALWAYS, true),
        menuOption(QStringLiteral("Minimize to tray clicking the close button [ X ]"), "tray-instead-of-quit"),
        menuOption(QStringLiteral("Force quitting (no dialogs)"), "quit-dont-ask", MC_EXPERT),
    };
}

Tentries mainTreeMenu(TmainWindow &w)
{
    return {
        menuOption(QStringLiteral("Folders before"), "folders-before"),
        menuOption(QStringLiteral("Links before"), "links-before"),
        menuOption(QStringLiteral("Use system icons"), "use-system-icons"),
        menuOption(QStringLiteral("Load single comment files"), "load-single-comment-files"),
        menuOption(QStringLiteral("Support DESCRIPT.ION"), "support-descript.ion"),
        menuOption(QStringLiteral("Use OEM for DESCRIPT.ION"), "oem-descript.ion"),
        menuOption(QStringLiteral("Enable recursive listing"), "recursive-listing"),
        menuOption(QStringLiteral("Skip confirmation on deletion"), "delete-dont-ask"),
        menuOption(QStringLiteral("List files with <hidden> attribute"), "list-hidden-files"),
        menuOption(QStringLiteral("List files with <system> attribute"), "list-system-files"),
        menuOption(QStringLiteral("List protected items only for allowed users"), "list-protected-items"),
        menuCommand(QStringLiteral("Icon masks..."), [&w] { showOptionsDialog(&w, OP_ICON_MASKS); }),
        menuValue(QStringLiteral("Flag files added recently..."), flagNewFilesCaption, [] { askFlagNewFiles(); }),
        menuValue(QStringLiteral("Auto-save every..."), autoSaveCaption, [] { askAutoSaveInterval(); }),
        menuOption(QStringLiteral("Backup on save"), "backup-saving"),
        menuGroup(QStringLiteral("Adding folder"),
              {menuChoice(QStringLiteral("Ask"), "add-folder-default", QString()),
               menuChoice(QStringLiteral("Default to virtual-folder"), "add-folder-default", QStringLiteral("virtual")),
               menuChoice(QStringLiteral("Default to real-folder"), "add-folder-default", QStringLiteral("real"))}),
        menuCommand(QStringLiteral("Reset files hits"), [] {
            Tvfs::instance().resetHits();
            Tvfs::instance().setModified(true);
        }),
        menuCommand(QStringLiteral("Reset totals"), [] { resetTotals(); }),
    };
}

Tentries mainLimitsMenu(TmainWindow &w)
{
    auto countLimit = [](TcountLimit which, TmenuClass cls) {
        return menuValue(countLimitName(which) + QStringLiteral("..."), [which] { return countLimitCaption(which); },
                     [which] { askCountLimit(which); }, cls);
    };
    TmenuEntry pause = menuCommand(QStringLiteral("Pause streaming"), [] { setStreamingPaused(!streamingPaused()); },
                               MC_EXPERT);
    pause.checked = [] { return streamingPaused(); };
    TmenuEntry spiders = menuOption(QStringLiteral("Stop spiders"), "stop-spiders", MC_EXPERT);
    spiders.enabled = [] { return !Tvfs::instance().findFilebyURL(QStringLiteral("/robots.txt"), nullptr, false); };
    return {
        menuValue(QStringLiteral("Speed limit"), [] { return speedLimitCaption(false); }, [] { askSpeedLimit(false); }),
        menuValue(QStringLiteral("Speed limit for single address"), [] { return speedLimitCaption(true); },
              [] { askSpeedLimit(true); }, MC_EXPERT),
        pause,
        countLimit(CL_MAX_DOWNLOADS, MC_ALWAYS),
        countLimit(CL_MAX_DOWNLOADS_BY_IP, MC_EXPERT),
        countLimit(CL_MAX_ADDRESSES, MC_EXPERT),
        countLimit(CL_MAX_ADDRESSES_DOWNLOADING, MC_EXPERT),
        countLimit(CL_MAX_CONNECTIONS, MC_EXPERT),
        countLimit(CL_MAX_CONNECTIONS_BY_IP, MC_EXPERT),
        menuValue(QStringLiteral("Connections inactivity timeout..."), connectionsTimeoutCaption,
              [] { askConnectionsTimeout(); }, MC_EXPERT),
        menuCommand(QStringLiteral("Bans..."), [&w] { showOptionsDialog(&w, OP_BANS); }),
        menuValue(QStringLiteral("Minimum disk space..."), minDiskSpaceCaption, [] { askMinDiskSpace(); }, MC_EXPERT),
        menuOption(QStringLiteral("Prevent leeching (download accelerators)"), "prevent-leeching"),
        menuCommand(QStringLiteral("Allowed referer..."), [] { askAllowedReferer(); }, MC_EXPERT),
        spiders,
    };
}

Tentries mainFingerprintsMenu()
{
    auto whileEnabled = [] { return opts().enableFingerprints; };
    TmenuEntry save = menuOption(QStringLiteral("Save new calculated fingerprints"), "save-fingerprints");
    save.enabled = whileEnabled;
    save.run = [] {
        if (opts().saveFingerprints)
            prompt().message(QStringLiteral("This option creates an .md5 file for every new calculated "
                                            "fingerprint.\rUse with care to get not your disk invaded by these files."),
                             PK_WARNING);
    };
    TmenuEntry autoFp = menuValue(QStringLiteral("Create fingerprint on file addition..."), autoFingerprintCaption,
                              [] { askAutoFingerprint(); });
    autoFp.enabled = whileEnabled;
    return {menuOption(QStringLiteral("Enabled"), "enable-fingerprints"), save, autoFp};
}

Tentries mainTrayMenu(TmainWindow &w)
{
    return {
        menuOption(QStringLiteral("Minimize to tray"), "minimize-to-tray"),
        menuOption(QStringLiteral("Show main tray icon"), "show-main-tray-icon", MC_EXPERT),
        menuGroup(QStringLiteral("Main icon shows"),
              {menuChoice(QStringLiteral("Number of current connections"), "tray-shows", QStringLiteral("connections")),
               menuChoice(QStringLiteral("Number of logged downloads"), "tray-shows", QStringLiteral("downloads")),
               menuChoice(QStringLiteral("Number of logged uploads"), "tray-shows", QStringLiteral("uploads")),
               menuChoice(QStringLiteral("Number of logged hits"), "tray-shows", QStringLiteral("hits"), MC_EXPERT),
               menuChoice(QStringLiteral("Number of different IP addresses now connected"), "tray-shows",
                      QStringLiteral("ips")),
               menuChoice(QStringLiteral("Number of different IP addresses ever connected"), "tray-shows",
                      QStringLiteral("ips-ever"))}),
        menuCommand(QStringLiteral("Tray message..."), [&w] { showOptionsDialog(&w, OP_TRAY_MESSAGE); }, MC_EXPERT),
        menuOption(QStringLiteral("Tray icon for each download"), "tray-icon-for-each-download", MC_EXPERT),
    };
}

TmenuEntry mainAddressMenu(TmainWindow &w)
{
    TmenuEntry e;
    e.caption = QStringLiteral("IP address");
    e.liveChildren = [&w] {
        Tentries out;
        for (const QString &a : currentUrlAddressCandidates()) {
            TmenuEntry c = menuCommand(a, [&w, a] {
                setUrlAddress(a);
                setMenuOption(QStringLiteral("search-better-ip"), cfgBool(false));
                w.refreshUrl();
                menuCopyToClipboard(w.urlBox()->text());
            });
            c.radio = true;
            c.checked = [a] { return opts().ip == a; };
            out += c;
        }
        out += TmenuEntry::line();
        TmenuEntry label = menuCommand(QStringLiteral("This IP address is used only for URL building"), {});
        label.enabled = [] { return false; };
        out += label;
        out += menuCommand(QStringLiteral("Custom..."), [&w] {
            if (askCustomAddresses())
                w.refreshUrl();
        }, MC_EXPERT);
        TmenuEntry noPort = menuCommand(QStringLiteral("Don't include port in URL"), [&w] {
            if (!opts().dontIncludePortInUrl
                && prompt().question(QStringLiteral("You should not use this option unless you really know its "
                                                    "meaning.\rContinue?"),
                                     PB_YES | PB_NO, PB_NO)
                       != PB_YES)
                return;
            setMenuOption(QStringLiteral("dont-include-port-in-url"), cfgBool(!opts().dontIncludePortInUrl));
            w.refreshUrl();
        }, MC_EXPERT);
        noPort.checked = [] { return opts().dontIncludePortInUrl; };
        out += noPort;
        out += menuCommand(QStringLiteral("Find external address"), [&w] {
            const QString found = cfg().hooks.externalAddress ? cfg().hooks.externalAddress() : QString();
            if (found.isEmpty()) {
                prompt().message(QStringLiteral("Unable to retrieve external address"), PK_ERROR);
                return;
            }
            setUrlAddress(found);
            w.refreshUrl();
            menuCopyToClipboard(w.urlBox()->text());
        });
        out += menuOption(QStringLiteral("Constantly search for better address"), "search-better-ip", MC_EXPERT);
        return out;
    };
    return e;
}

TmenuEntry mainListenMenu(TmainWindow &w)
{
    TmenuEntry e;
    e.caption = QStringLiteral("Accept connections on");
    e.cls = MC_EXPERT;
    e.liveChildren = [&w] {
        auto listenOn = [&w](const QString &a) {
            TmenuEntry c = menuCommand(a.isEmpty() ? QStringLiteral("Any address") : a, [&w, a] {
                setMenuOption(QStringLiteral("listen-on"), a);
                restartServer();
                w.refreshCaptions();
            });
            c.radio = true;
            c.checked = [a] { return opts().listenOn == a; };
            return c;
        };
        Tentries out{listenOn(QString())};
        for (const QString &a : ownAddresses())
            out += listenOn(a);
        return out;
    };
    return e;
}

TmenuEntry ddnsWizard(const QString &caption, TddnsService service)
{
    return menuCommand(caption, [service] { runDdnsWizard(service, prompt(), ddnsUpdater(), &setUrlAddress); });
}

Tentries mainDynamicDnsMenu()
{
    TmenuEntry lastReply = menuCommand(QStringLiteral("See last server response..."), [] {
        ddnsUpdater().showLastReply(prompt(), [](const QString &path) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        });
    });
    lastReply.offered = [] { return !ddnsUpdater().lastReply.isEmpty(); };
    TmenuEntry disable = menuCommand(QStringLiteral("Disable"), [] { ddnsUpdater().disable(prompt()); });
    disable.offered = [] { return !opts().dynamicDnsUpdater.isEmpty(); };
    return {
        ddnsWizard(QStringLiteral("CJB wizard..."), DS_CJB),
        ddnsWizard(QStringLiteral("No-IP wizard..."), DS_NOIP),
        ddnsWizard(QStringLiteral("DynDNS wizard..."), DS_DYNDNS),
        menuCommand(QStringLiteral("Custom..."), [] { ddnsUpdater().customUrl(prompt()); }),
        lastReply,
        disable,
    };
}

Tentries mainDebugMenu()
{
    TmenuEntry reset = menuCommand(QStringLiteral("Temporarily reset options"), [] {
        if (!cfg().isTemporarilyReset())
            cfg().temporaryReset();
    });
    reset.enabled = [] { return !cfg().isTemporarilyReset(); };
    TmenuEntry macrosLog = menuCommand(QStringLiteral("Enable macros.log"),
                                   [] { macroSettings().logEnabled = !macroSettings().logEnabled; });
    macrosLog.checked = [] { return macroSettings().logEnabled; };
    TmenuEntry appendLog = menuCommand(QStringLiteral("Append macros.log"),
                                   [] { macroSettings().logAppend = !macroSettings().logAppend; });
    appendLog.checked = [] { return macroSettings().logAppend; };
    appendLog.enabled = [] { return macroSettings().logEnabled; };
    static bool memoryShown = false;
    TmenuEntry memory = menuCommand(QStringLiteral("Show memory usage"), [] {
        memoryShown = !memoryShown;
        setShowMemoryUsage(memoryShown);
    });
    memory.checked = [] { return memoryShown; };
    return {
        reset,
        menuServerSwitch(&TserveSwitches::dumpTraffic, QStringLiteral("Dump traffic")),
        menuCommand(QStringLiteral("Show customized options..."),
                [] { prompt().message(cfg().customizedOptionsReport(), PK_INFO); }),
        menuServerSwitch(&TserveSwitches::highSpeedHandling, QStringLiteral("Experimental high speed handling")),
        macrosLog,
        appendLog,
        menuCommand(QStringLiteral("Run script..."), [] { runScriptWindow(true)->start(); }),
        memory,
        menuServerSwitch(&TserveSwitches::noContentDisposition, QStringLiteral("No Content-disposition")),
    };
}

Tentries mainUpdatesMenu()
{
    TmenuEntry revert = menuCommand(QStringLiteral("Revert to previous version"), [] { revertToPreviousVersion(); });
    revert.offered = [] { return QFileInfo::exists(QCoreApplication::applicationFilePath() + QStringLiteral(".old")); };
    return {
        menuCommand(QStringLiteral("Check for news/updates"), [] { checkForUpdatesNow(); }),
        menuOption(QStringLiteral("Auto check every day"), "update-daily"),
        menuOption(QStringLiteral("Keep old version"), "keep-bak-updating", MC_EXPERT),
        menuOption(QStringLiteral("Updates from official to beta versions"), "tester-updates", MC_EXPERT),
        menuOption(QStringLiteral("Update automatically"), "update-automatically", MC_EXPERT),
        menuOption(QStringLiteral("Delay update to serve last requests"), "delayed-update", MC_EXPERT),
        revert,
    };
}

Tentries mainTreeFileCommands(TmainWindow &w)
{
    TmenuEntry load = menuCommand(QStringLiteral("Load file system..."), [&w] {
        TvfsStore::instance().openWithDialog();
        w.refreshUrl();
    });
    load.key = QKeySequence(Qt::CTRL | Qt::Key_O);
    TmenuEntry recent;
    recent.caption = QStringLiteral("Load recent files");
    recent.liveChildren = [&w] {
        Tentries out;
        for (const QString &fn : TvfsStore::instance().settings.recentFiles)
            out += menuCommand(fn, [&w, fn] {
                TvfsStore::instance().loadRecent(fn);
                w.refreshUrl();
            });
        return out;
    };
    recent.offered = [] { return !TvfsStore::instance().settings.recentFiles.isEmpty(); };
    TmenuEntry save = menuCommand(QStringLiteral("Save file system..."), [] { TvfsStore::instance().saveVFS(); });
    save.key = QKeySequence(Qt::CTRL | Qt::Key_S);
    return {
        menuCommand(QStringLiteral("Add files..."), [&w] { menuAddFromDialog(w, false); }, MC_EASY),
        menuCommand(QStringLiteral("Add folder from disk..."), [&w] { menuAddFromDialog(w, true); }, MC_EASY),
        load,
        recent,
        save,
        menuCommand(QStringLiteral("Clear file system"), [&w] {
            TvfsStore::instance().clearVFS();
            w.refreshUrl();
        }),
    };
}

Tentries mainSaveOptionsMenu()
{
    auto saveTo = [](const QString &caption, TcfgStorage where) {
        TmenuEntry e = menuCommand(caption, [where] {
            if (!cfg().saveTo(where))
                prompt().message(QStringLiteral("Error saving options"), PK_ERROR);
        });
        e.liveCaption = [caption, where] {
            return cfg().cfgStorage == where ? caption + QStringLiteral(" (default)") : caption;
        };
        return e;
    };
    return {
        saveTo(QStringLiteral("to file"), CS_FILE),
        saveTo(QStringLiteral("to registry (current user)"), CS_REGISTRY_USER),
        saveTo(QStringLiteral("to registry (all users)"), CS_REGISTRY_ALL),
        menuCommand(QStringLiteral("Clear options and quit"), [] {
            cfg().clearStoredOptions();
            if (Tprogram *p = Tprogram::instance())
                p->requestQuit();
        }),
        menuOption(QStringLiteral("Auto-save options"), "auto-save-options"),
    };
}

} // namespace

Tentries buildMainMenu(TmainWindow &w, const TmenuSource &logMenu)
{
    Tentries m;
    m += menuCommand(QStringLiteral("Self Test"), [] { runSelfTest(false); });
    TmenuEntry showGraph = menuCommand(QStringLiteral("Show bandwidth graph"), [&w] {
        w.graph()->showGraph();
    });
    showGraph.offered = [&w] { return !w.graph()->isVisible(); };
    m += showGraph;
    m += TmenuEntry::line();
    m += menuGroup(QStringLiteral("Other options"), mainOtherOptions(w));
    m += menuGroup(QStringLiteral("HTML template"), mainTemplateMenu(w), MC_EXPERT);
    m += menuGroup(QStringLiteral("Upload"), mainUploadMenu());
    m += menuGroup(QStringLiteral("Start/Exit"), mainStartExitMenu());
    TmenuEntry log;
    log.caption = QStringLiteral("Log");
    log.liveChildren = logMenu;
    log.offered = [logMenu] { return bool(logMenu); };
    m += log;
    m += menuGroup(QStringLiteral("Virtual File System"), mainTreeMenu(w), MC_EXPERT);
    m += menuGroup(QStringLiteral("Limits"), mainLimitsMenu(w));
    m += menuGroup(QStringLiteral("Flash taskbutton"),
               {menuChoice(QStringLiteral("On download"), "flash-on", QStringLiteral("download")),
                menuChoice(QStringLiteral("On connection"), "flash-on", QStringLiteral("connection")),
                menuChoice(QStringLiteral("Never"), "flash-on", QString()),
                TmenuEntry::line(),
                menuOption(QStringLiteral("Also beep"), "beep-on-flash")},
               MC_EXPERT);
    m += menuGroup(QStringLiteral("Fingerprints"), mainFingerprintsMenu(), MC_EXPERT);
    m += menuGroup(QStringLiteral("Tray icons"), mainTrayMenu(w));
    m += mainAddressMenu(w);
    m += mainListenMenu(w);
    m += menuGroup(QStringLiteral("Dynamic DNS updater"), mainDynamicDnsMenu(), MC_EXPERT);
    m += menuGroup(QStringLiteral("URL encoding"),
               {menuOption(QStringLiteral("Encode spaces"), "encode-spaces"),
                menuOption(QStringLiteral("Encode non-ASCII characters"), "encode-non-ascii"),
                menuOption(QStringLiteral("Include password in pages (for download managers)"), "include-pwd-in-pages"),
                menuOption(QStringLiteral("URLs starting with https instead of http"), "https-url")},
               MC_EXPERT);
    m += menuGroup(QStringLiteral("Debug"), mainDebugMenu(), MC_EXPERT);
    m += menuGroup(QStringLiteral("Updates"), mainUpdatesMenu());
    m += menuWebPage(QStringLiteral("Donate!"), "https://zof.example.org/donate");
    m += TmenuEntry::line();
    m += mainTreeFileCommands(w);
    m += TmenuEntry::line();
    m += menuGroup(QStringLiteral("Save options"), mainSaveOptionsMenu(), MC_EXPERT);
    m += menuGroup(QStringLiteral("Help"),
               {menuWebPage(QStringLiteral("Introduction"), "https://zof.example.org/intro"),
                menuWebPage(QStringLiteral("Full Guide"), "https://zof.example.org/guide"),
                menuWebPage(QStringLiteral("F.A.Q."), "https://zof.example.org/faq")});
    m += menuGroup(QStringLiteral("Web links"),
               {menuWebPage(QStringLiteral("Official website"), "https://zof.example.org/"),
                menuWebPage(QStringLiteral("Forum"), "https://zof.example.org/forum"),
                menuWebPage(QStringLiteral("License"), "https://zof.example.org/license")});
    m += menuDesktop(QStringLiteral("Uninstall ZOF"));
    m += menuCommand(QStringLiteral("About..."), [] {
        prompt().message(QStringLiteral("ZOF\rVersion %1\rBuild %2").arg(zofVersion(), zofBuild()), PK_INFO);
    });
    m += TmenuEntry::line();
    TmenuEntry onOff = menuCommand(QStringLiteral("Switch ON"), [&w] {
        toggleServer();
        w.refreshCaptions();
    });
    onOff.liveCaption = [] { return serverListening() ? QStringLiteral("Switch OFF") : QStringLiteral("Switch ON"); };
    onOff.key = QKeySequence(Qt::Key_F4);
    m += onOff;
    TmenuEntry restore = menuCommand(QStringLiteral("Restore"), [&w] { w.showNormal(); });
    // The tray icon marks the window it hid.
    restore.offered = [&w] { return w.property("hiddenInTray").toBool(); };
    m += restore;
    m += menuCommand(QStringLiteral("Exit"), [&w] {
        if (Tprogram *p = Tprogram::instance())
            requestClose(*p);
        else
            w.close();
    });
    return m;
}

QString dialogFilterOf(const QString &storeFilter)
{
    const QStringList parts = storeFilter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out += parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(u';', u' ') + u')';
    return out.join(QStringLiteral(";;"));
}

void installTreeFileDialogs(QWidget *parent)
{
    QPointer<QWidget> owner(parent);
    TvfsStore::instance().askFileName = [owner](const QString &title, const QString &filter, const QString &ext,
                                                 const QString &start, bool forSaving) {
        if (!forSaving)
            return QFileDialog::getOpenFileName(owner, title, start, dialogFilterOf(filter));
        QString fn = QFileDialog::getSaveFileName(owner, title, start, dialogFilterOf(filter));
        if (!fn.isEmpty() && !ext.isEmpty() && QFileInfo(fn).suffix().isEmpty())
            fn += u'.' + ext;
        return fn;
    };
}
