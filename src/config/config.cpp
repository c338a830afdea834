#include "config/config.h"

#include "config/cfgCodec.h"
#include "config/cfgKeys.h"
#include "config/notify.h"
#include "config/paths.h"
#include "config/treeOptions.h"
#include "config/version.h"
#include "util/asciiCase.h"
#include "util/service.h"
#include "util/files.h"
#include "util/textLines.h"
#include "vfs/account.h"
#include "vfs/vfs.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <utility>


namespace {

QString readTextFile(const QString &path)
{
    return loadTextFile(path);
}

bool writeFileSafely(const QString &path, const QByteArray &data)
{
    // The text holds the accounts' passwords.
    return saveFile(path, data, false, FM_PRIVATE);
}

// Key of a configuration line, or empty when the line holds no "=".
QStringView lineKey(QStringView line)
{
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? QStringView() : line.left(eq);
}

QString lineValue(QStringView line)
{
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? QString() : line.mid(eq + 1).toString();
}

// The entries of a list that its text can carry: one holding the separator
// (a file path may hold "|") would read back as two other entries. A list
// of pairs loses the whole pair, so that the pairs after it keep partners.
QStringList writableEntries(QStringList entries, QChar separator, bool pairs)
{
    const auto unfit = [separator](const QString &e) { return e.contains(separator); };
    if (!pairs) {
        entries.removeIf(unfit);
        return entries;
    }
    QStringList kept;
    for (qsizetype i = 0; i + 1 < entries.size(); i += 2)
        if (!unfit(entries[i]) && !unfit(entries[i + 1]))
            kept << entries[i] << entries[i + 1];
    return kept;
}

// A list of pairs keeps its empty members: dropping one would give every
// later member the wrong partner. A last member without a partner (a text
// that ends with the separator) is dropped.
QStringList readPairs(const QString &value, QChar separator)
{
    if (value.isEmpty())
        return {};
    QStringList members = value.split(separator);
    if (members.size() % 2)
        members.removeLast();
    return members;
}

QString encodeMember(const TcfgKey &k, const Toptions &o)
{
    return std::visit([&](auto m) -> QString {
        using M = decltype(m);
        if constexpr (std::is_same_v<M, bool Toptions::*>)
            return cfgBool(o.*m);
        else if constexpr (std::is_same_v<M, qint64 Toptions::*>)
            return QString::number(o.*m);
        else if constexpr (std::is_same_v<M, double Toptions::*>)
            return cfgReal(o.*m);
        else if constexpr (std::is_same_v<M, QString Toptions::*>)
            return oneLine(o.*m);
        else if constexpr (std::is_same_v<M, QStringList Toptions::*>) {
            const QChar sep = QChar::fromLatin1(k.separator);
            return oneLine(writableEntries(o.*m, sep, k.type == CT_PAIRS).join(sep));
        }
        else
            return QString();
    }, k.member);
}

void decodeMember(const TcfgKey &k, Toptions &o, const QString &v)
{
    std::visit([&](auto m) {
        using M = decltype(m);
        if constexpr (std::is_same_v<M, bool Toptions::*>)
            o.*m = parseCfgBool(v);
        else if constexpr (std::is_same_v<M, qint64 Toptions::*>)
            o.*m = parseCfgInt(v);
        else if constexpr (std::is_same_v<M, double Toptions::*>)
            o.*m = parseCfgReal(v);
        else if constexpr (std::is_same_v<M, QString Toptions::*>)
            o.*m = v;
        else if constexpr (std::is_same_v<M, QStringList Toptions::*>) {
            const QChar sep = QChar::fromLatin1(k.separator);
            o.*m = k.type == CT_PAIRS ? readPairs(v, sep) : v.split(sep, Qt::SkipEmptyParts);
        }
    }, k.member);
}

// The host of a URL, without scheme, credentials, port or path.
QString urlHost(const QString &url)
{
    QString s = url;
    const qsizetype scheme = s.indexOf(QStringLiteral("://"));
    if (scheme >= 0)
        s = s.mid(scheme + 3);
    const qsizetype slash = s.indexOf(u'/');
    if (slash >= 0)
        s.truncate(slash);
    const qsizetype at = s.lastIndexOf(u'@');
    if (at >= 0)
        s = s.mid(at + 1);
    return s;
}

} // namespace

TcfgPlaces TcfgPlaces::standard()
{
    TcfgPlaces p;
    p.cfgFolder = cfgPath();
    p.iniFile = p.cfgFolder + QStringLiteral("zof.ini");
    p.userStore = xdgConfigHome() + QStringLiteral("brantel/ZOF/zof.cfg");
    p.machineStore = QStringLiteral("/etc/xdg/brantel/ZOF/zof.cfg");
    p.ipsFile = p.cfgFolder + QStringLiteral("zof.ips.txt");
    p.updateCheckTmp = tmpPath() + QStringLiteral("ZOF last update check.tmp");
    return p;
}

Tconfig::Tconfig(Toptions &options, Taccounts &accountList, TcfgPlaces placesIn)
    : o(options), accounts(accountList), places(std::move(placesIn))
{
}

QString Tconfig::getCfg(const QString &exclude) const
{
    QRegularExpression excluded;
    if (!exclude.isEmpty()) {
        // "." is any character but "=" (keys never hold one); "\." stays a dot.
        QString rx;
        for (qsizetype i = 0; i < exclude.size(); ++i) {
            if (exclude[i] == u'\\' && i + 1 < exclude.size()) {
                rx += exclude[i];
                rx += exclude[++i];
            } else if (exclude[i] == u'.') {
                rx += QStringLiteral("[^=]");
            } else {
                rx += exclude[i];
            }
        }
        excluded.setPattern(QRegularExpression::anchoredPattern(rx));
    }
    const QString crlf = QStringLiteral("\r\n");
    QString text = QStringLiteral("ZOF ") + zofVersion() + QStringLiteral(" - Build #") + zofBuild() + crlf;
    for (const TcfgKey &k : cfgKeys()) {
        const QString key = QString::fromLatin1(k.key);
        const std::optional<QString> value = k.encode ? k.encode(*this) : encodeMember(k, o);
        if (!value)
            continue; // a key that is not written at this moment
        if (excluded.isValid() && !exclude.isEmpty() && excluded.match(key).hasMatch())
            text += crlf;
        else
            text += key + u'=' + *value + crlf;
    }
    return text;
}

void Tconfig::applyLine(QStringView keyIn, const QString &value)
{
    QStringView key = keyIn;
    // Old names of current keys.
    if (key == u"banned-ips")
        key = u"ban-list";
    else if (key == u"user-mime-types")
        key = u"mime-types";
    else if (key == u"save-in-out-totals")
        key = u"save-totals";

    if (key == u"recents") {
        o.recentFiles = value.split(u';', Qt::SkipEmptyParts);
        return;
    }
    if (key == u"load-tpl-from") {
        if (hooks.loadTemplateFrom)
            hooks.loadTemplateFrom(value);
        return;
    }
    const TcfgKey *k = findCfgKey(key);
    if (!k)
        return;
    if (k->decode)
        k->decode(*this, value);
    else
        decodeMember(*k, o, value);
}

bool Tconfig::setCfg(const QString &textIn, bool alreadyStarted)
{
    if (textIn.isEmpty())
        return false;
    QString text = textIn;
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    // A hook may apply a text of its own while this one is being applied.
    const Tapply outer = std::exchange(applying, Tapply());
    applying.alreadyStarted = alreadyStarted;
    applying.build = zofBuild();
    QStringList lines = splitLines(text);
    if (text.startsWith(QStringLiteral("ZOF "))) {
        const QString head = lines.takeFirst();
        const qsizetype at = head.indexOf(QStringLiteral(" - Build #"));
        if (at >= 0)
            applying.build = head.mid(at + 10).trimmed();
    }
    const bool wasActive = hooks.serverActive ? hooks.serverActive() : o.active;
    applying.activeWish = alreadyStarted ? wasActive : true;

    for (const QString &line : std::as_const(lines)) {
        const QStringView key = lineKey(line);
        if (key.isEmpty())
            continue;
        // A line that cannot be applied is skipped; the next one is read.
        try {
            applyLine(key, lineValue(line));
        } catch (...) {
        }
    }
    postPass();

    for (const QString &m : std::as_const(applying.messages))
        notifyOperator(m);
    applying.messages.clear();

    // The listening state.
    const bool isActive = hooks.serverActive ? hooks.serverActive() : o.active;
    if (!alreadyStarted) {
        startupActiveWish = applying.activeWish;
        if (applying.activeWish && hooks.startServer && !isActive)
            hooks.startServer();
    } else if (applying.activeWish != isActive) {
        if (applying.activeWish && hooks.startServer)
            hooks.startServer();
        else if (!applying.activeWish && hooks.stopServer)
            hooks.stopServer();
    }
    if (!hooks.serverActive)
        o.active = applying.activeWish;
    applying = outer;
    autoSaveCheck(true);
    return true;
}

void Tconfig::postPass()
{
    if (!applying.alreadyStarted) {
        if (applying.build < u"006")
            o.easy = false; // very old configurations were written in expert mode
        if (!o.saveTotals) {
            o.hitsTotal = o.downloadsTotal = o.uploadTotal = 0;
            o.outTotalOffset = -serverBytesSent();
            o.inTotalOffset = -serverBytesReceived();
        }
    }
    // MIME pairs: entries trimmed, and the first built-in pairs put back at
    // the start, in table order, when their mask is missing.
    QStringList &mt = o.mimeTypes;
    for (QString &s : mt)
        s = s.trimmed();
    if (mt.size() % 2)
        mt.removeLast(); // a member without a partner, as the reader drops it
    const QStringList builtin = Toptions::defaultMimeTypes();
    QStringList missing;
    for (int i = 0; i < Toptions::restoredMimePairs; ++i) {
        const QString &mask = builtin[2 * i];
        bool found = false;
        for (qsizetype j = 0; j < mt.size() && !found; j += 2)
            found = sameText(mt[j], mask);
        if (!found)
            missing << mask << builtin[2 * i + 1];
    }
    mt = missing + mt;
    if (feedsTree)
        applyOptionsToTree(o, Tvfs::instance());
    Q_EMIT notifier->applied();
}

void Tconfig::captureDefaults()
{
    defaults = getCfg();
    defaults.replace(QStringLiteral("\r\nactive=no\r\n"), QStringLiteral("\r\nactive=yes\r\n"));
}

QString Tconfig::readStoredCfg()
{
    // Addresses ever connected, kept in their own file once they are many.
    const QString ips = readTextFile(places.ipsFile);
    if (!ips.isEmpty()) {
        QStringList &list = o.ipsEverConnected;
        for (const QString &line : splitLines(ips))
            if (!line.trimmed().isEmpty())
                list.append(line.trimmed());
        list.sort();
        list.removeDuplicates();
    }
    QString text = readTextFile(places.iniFile);
    if (!text.isEmpty()) {
        cfgStorage = CS_FILE;
        const QString tpl = places.cfgFolder + QStringLiteral("zof.tpl");
        if (o.tplFile.isEmpty() && QFileInfo(tpl).isFile() && QFileInfo(tpl).size() > 0)
            o.tplFile = tpl;
        return text;
    }
    text = readTextFile(places.userStore);
    if (!text.isEmpty()) {
        cfgStorage = CS_REGISTRY_USER;
        return text;
    }
    text = readTextFile(places.machineStore);
    if (!text.isEmpty())
        cfgStorage = CS_REGISTRY_ALL;
    return text;
}

bool Tconfig::writeStore(TcfgStorage where, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    switch (where) {
    case CS_FILE:
        return writeFileSafely(places.iniFile, bytes);
    case CS_REGISTRY_USER:
        if (!writeFileSafely(places.userStore, bytes))
            return false;
        removeFile(places.iniFile);
        return true;
    case CS_REGISTRY_ALL:
        if (!writeFileSafely(places.machineStore, bytes))
            return false;
        removeFile(places.iniFile);
        deleteUserStore();
        return true;
    }
    return false;
}

void Tconfig::deleteUserStore()
{
    removeFile(places.userStore);
    // The folders brantel/ZOF are ours: remove them when left empty.
    QDir dir = QFileInfo(places.userStore).absoluteDir();
    for (int i = 0; i < 2; ++i) {
        const QString name = dir.dirName();
        if (!dir.cdUp() || !dir.rmdir(name))
            break;
    }
}

void Tconfig::saveIps()
{
    if (o.ipsEverConnected.size() < ipsInTextLimit) {
        removeFile(places.ipsFile); // they are in the text
        return;
    }
    writeFileSafely(places.ipsFile, (o.ipsEverConnected.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

bool Tconfig::saveCFG()
{
    // While options are temporarily reset, the user's own options are what
    // gets stored, never the defaults standing in for them.
    const QString text = isTemporarilyReset() ? keptText : getCfg();
    if (!writeStore(cfgStorage, text)) {
        if (cfgStorage != CS_REGISTRY_USER
            && askOperator(QStringLiteral("Can't save options there.\rShould I try to save to user registry?"), false)) {
            cfgStorage = CS_REGISTRY_USER;
            saveCFG();
        }
        return false;
    }
    saveIps();
    removeFile(places.updateCheckTmp);
    return true;
}

bool Tconfig::saveTo(TcfgStorage where)
{
    cfgStorage = where;
    const bool ok = saveCFG();
    if (ok)
        notifyOperator(QStringLiteral("Options saved"));
    return ok;
}

void Tconfig::autoSaveCheck(bool force)
{
    if (!force && autoSaveClock.isValid() && autoSaveClock.elapsed() < 5000)
        return;
    autoSaveClock.start();
    const QString now = getCfg(QStringLiteral(".*-total"));
    if (now == autoSaveSnapshot)
        return;
    if (o.autoSaveOptions && !autoSaveSnapshot.isEmpty())
        saveCFG();
    autoSaveSnapshot = now;
}

void Tconfig::clearStoredOptions()
{
    removeFile(places.updateCheckTmp);
    removeFile(places.iniFile);
    deleteUserStore();
    removeFile(places.machineStore);
    o.autoSaveOptions = false;
}

void Tconfig::temporaryReset()
{
    if (isTemporarilyReset())
        return;
    keptText = getCfg();
    if (hooks.clearEvents)
        hooks.clearEvents();
    const QList<Taccount> keptAccounts = accounts.list;
    setCfg(defaults, true);
    accounts.list = keptAccounts;
}

void Tconfig::restoreOptions()
{
    if (!isTemporarilyReset())
        return;
    const QString text = keptText;
    keptText.clear();
    setCfg(text, true);
    if (hooks.reloadEvents)
        hooks.reloadEvents();
}

QString Tconfig::customizedOptionsReport() const
{
    static const QStringList skipped = {
        QStringLiteral("active"), QStringLiteral("window"), QStringLiteral("graph-visible"),
        QStringLiteral("graph-size"), QStringLiteral("ip"), QStringLiteral("accounts"),
        QStringLiteral("dynamic-dns-user"), QStringLiteral("dynamic-dns-host"),
        QStringLiteral("ips-ever"), QStringLiteral("ips-ever-connected"),
        QStringLiteral("icon-masks-user-images"), QStringLiteral("last-external-address"),
        QStringLiteral("last-dialog-folder"),
    };
    const QString crlf = QStringLiteral("\r\n");
    QHash<QString, QString> defaultValues;
    for (const QString &line : splitLines(defaults))
        if (!lineKey(line).isEmpty())
            defaultValues.insert(lineKey(line).toString(), lineValue(line));

    QString report = QStringLiteral("# ") + zofVersion() + QStringLiteral(" (build ") + zofBuild() + u')' + crlf;
    const QStringList lines = splitLines(getCfg());
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString key = lineKey(lines[i]).toString();
        if (key.isEmpty() || key.endsWith(QStringLiteral("-width")) || key.endsWith(QStringLiteral("-height"))
            || skipped.contains(key))
            continue;
        QString value = lineValue(lines[i]);
        QString def = defaultValues.value(key);
        if (value == def)
            continue;
        if (key == u"dynamic-dns-updater") {
            // Only the host: the URL usually carries the account's password.
            value = QStringLiteral("...") + urlHost(o.dynamicDnsUpdater) + QStringLiteral("...");
            def = QString::fromUtf8(QByteArray::fromBase64(def.toLatin1()));
        }
        report += key + u'=' + value + crlf + QStringLiteral("# default: ") + def + crlf + crlf;
    }
    return report;
}

Tconfig &cfg()
{
    return Tservice<Tconfig>::get();
}
