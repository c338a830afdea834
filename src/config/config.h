#pragma once
// The configuration text of the options: produced from the live state
// (getCfg), applied to it (setCfg), read from and saved to its stores, the
// automatic save, the temporary reset and the report of customized options.
#include "config/cfgSignals.h"
#include "config/options.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class Taccounts;

// Where the text is kept. The two "registry" places are files holding the
// same text: one per user, one machine-wide.
enum TcfgStorage { CS_REGISTRY_USER = 0, CS_REGISTRY_ALL = 1, CS_FILE = 2 };

struct TcfgPlaces
{
    QString iniFile;       // cfgPath + "zof.ini"
    QString userStore;     // ${XDG_CONFIG_HOME}/brantel/ZOF/zof.cfg
    QString machineStore;  // /etc/xdg/brantel/ZOF/zof.cfg
    QString ipsFile;       // "zof.ips.txt" in the configuration folder
    QString updateCheckTmp; // tmpPath + "ZOF last update check.tmp"
    QString cfgFolder;     // cfgPath (where "zof.tpl" is looked for)

    // The places for the current cfgPath and tmpPath.
    static TcfgPlaces standard();
};

// What the configuration needs from the rest of the program. Every hook is
// optional; a missing one means "nothing to do".
struct TcfgHooks
{
    std::function<bool()> serverActive;   // the server's real listening state
    std::function<void()> startServer;
    std::function<void()> stopServer;
    std::function<void()> restartServer;  // the port changed while listening
    std::function<void(const QString &path)> loadTemplateFrom; // old key "load-tpl-from"
    std::function<int(const QByteArray &gif)> addUserImage; // new image index
    std::function<void()> clearEvents;    // temporary reset empties the event scripts
    std::function<void()> reloadEvents;   // ... and restoring brings them back
    // The machine's external address, searched for first while none is
    // known (for "get|external address"); empty when it cannot be found.
    std::function<QString()> externalAddress;
    // The server's running counts of bytes sent and received: the stored
    // out-total and in-total are the options' offsets plus these.
    std::function<qint64()> bytesSentCount;
    std::function<qint64()> bytesReceivedCount;
};

// Size at which the addresses ever connected move from the text to "zof.ips.txt".
inline constexpr int ipsInTextLimit = 50;

class Tconfig
{
public:
    Tconfig(Toptions &options, Taccounts &accounts, TcfgPlaces places = TcfgPlaces::standard());

    Toptions &o;
    Taccounts &accounts;
    TcfgPlaces places;
    TcfgHooks hooks;
    // Held by pointer so the configuration stays movable.
    std::unique_ptr<TcfgSignals> notifier = std::make_unique<TcfgSignals>();
    TcfgStorage cfgStorage = CS_REGISTRY_USER;
    // The program's own configuration copies the tree's options into the tree.
    bool feedsTree = false;

    // The text of the live state. `exclude` is a pattern of key names in
    // which "." stands for any character but "="; matching lines are emptied.
    QString getCfg(const QString &exclude = {}) const;
    // Applies a text; false only for an empty text.
    bool setCfg(const QString &text, bool alreadyStarted);

    // The server's running byte counts (0 without a server).
    qint64 serverBytesSent() const { return hooks.bytesSentCount ? hooks.bytesSentCount() : 0; }
    qint64 serverBytesReceived() const { return hooks.bytesReceivedCount ? hooks.bytesReceivedCount() : 0; }

    // Captured once at start-up, before any stored option is applied.
    void captureDefaults();
    const QString &defaultCfgText() const { return defaults; }

    // The stored text (ini file, user store, machine store), empty when none.
    QString readStoredCfg();
    // Stores getCfg() where cfgStorage says.
    bool saveCFG();
    // The explicit save commands.
    bool saveTo(TcfgStorage where);
    // Saves when something but the totals changed since the last check;
    // runs at most every 5 seconds unless `force`.
    void autoSaveCheck(bool force = false);
    // Deletes every stored copy and turns automatic saving off.
    void clearStoredOptions();

    void temporaryReset();
    bool isTemporarilyReset() const { return !keptText.isEmpty(); }
    void restoreOptions();

    QString customizedOptionsReport() const;

    // Set while setCfg runs: the wished listening state and the text's build.
    struct Tapply
    {
        bool alreadyStarted = false;
        bool activeWish = true;
        QString build;
        QStringList messages;
    };
    Tapply applying;
    // The listening state the start-up text asked for ("active").
    bool startupActiveWish = true;

private:
    void applyLine(QStringView key, const QString &value);
    void postPass();
    bool writeStore(TcfgStorage where, const QString &text);
    void deleteUserStore();
    void saveIps();

    QString defaults;
    QString keptText;          // the options before a temporary reset
    QString autoSaveSnapshot;
    QElapsedTimer autoSaveClock;
};

// The program's configuration over opts() and the program's accounts
// (owned by the application).
Tconfig &cfg();
