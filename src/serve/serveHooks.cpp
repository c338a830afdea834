// The plain answers used until the modules owning each concern install theirs.
#include "serve/serveHooks.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "script/macroEngine.h"
#include "tpl/mainTemplate.h"
#include "serve/connData.h"
#include "vfs/account.h"
#include "serve/treeAccess.h"


bool TsessionHooks::restore(TconnData &cd)
{
    const ThttpRequest &req = cd.conn->request();
    cd.credentials.user = req.user;
    cd.credentials.password = req.pwd;
    const QString &user = cd.credentials.user;
    const Taccount *a = user.isEmpty() ? nullptr : Taccounts::global().getAccount(user);
    cd.credentials.account = a && a->pwd == cd.credentials.password ? a : nullptr;
    return true;
}

QString TsessionHooks::checkLoginForm(TconnData &cd)
{
    const QString user = cd.request.postVars.value(QStringLiteral("user"));
    const Taccount *a = Taccounts::global().getAccount(user);
    if (!a)
        return QStringLiteral("username not found");
    if (a->pwd != cd.request.postVars.value(QStringLiteral("password")))
        return QStringLiteral("bad password");
    cd.credentials.account = a;
    cd.credentials.user = a->user;
    cd.credentials.password = a->pwd;
    return QStringLiteral("ok");
}

QString TsessionHooks::checkSignedLink(TconnData &)
{
    return QStringLiteral("bad");
}

bool TsessionHooks::credentialsMatch(const QString &user, const QString &pwd)
{
    const Taccount *a = Taccounts::global().getAccount(user);
    if (a && a->pwd == pwd)
        return true;
    return treeUsersMatch(user, pwd);
}

void TsessionHooks::demandLogin(TconnData &cd, Tfile &node)
{
    ThttpReply &r = cd.conn->reply();
    r.mode = HRM_UNAUTHORIZED;
    QString realm = node.getShownRealm();
    if (realm.isEmpty())
        realm = opts().loginRealm;
    if (!realm.isEmpty())
        r.realm = realm;
}

void TadmissionHooks::decidePreReply(TconnData &cd)
{
    cd.preReply = PR_NONE;
}

bool TadmissionHooks::allowDownload(TconnData &)
{
    return true;
}

QString TpageHooks::specialPage(TconnData &, const QString &, Tfile *, const TtplPtr &)
{
    return {};
}

QString TpageHooks::section(TconnData &cd, const QString &name, Tfile *folder, const TtplPtr &tpl)
{
    const TtplSection *sec = tpl ? tpl->getSection(name) : nullptr;
    return sec ? runScriptText(sec->txt, {}, tpl, &cd, folder) : QString();
}

TtplPtr TpageHooks::downloadManagerTemplate()
{
    return mainTpl();
}

// Folder pages and file lists come from the templates, which the program
// installs at start-up (TtplPageHooks); nothing here builds them.
QString TpageHooks::folderPage(TconnData &, Tfile &, const TtplPtr &)
{
    return {};
}

QString TpageHooks::fileList(TconnData &, Tfile &)
{
    return {};
}

void TuploadHooks::postEvent(TserverEvent, TconnData &) {}

void TuploadHooks::abandon(TconnData &cd)
{
    if (cd.upload.file) {
        cd.upload.file->close();
        cd.upload.file.reset();
    }
}

const TnameValueList &TeventHooks::noSymbols()
{
    static const TnameValueList none;
    return none;
}

QString TeventHooks::run(const QString &name, TconnData *cd, const TnameValueList &symbols)
{
    return runFor(name, cd, cd ? cd->transfer.lastFile.data() : nullptr, symbols);
}

QString TeventHooks::runFor(const QString &name, TconnData *cd, Tfile *item, const TnameValueList &symbols)
{
    if (!has(name))
        return {};
    QStringList table;
    for (const auto &e : symbols.entries())
        table << e.name << e.value;
    return runEventSection(name, table, cd, item, item ? item->parent() : nullptr);
}

bool TeventHooks::has(const QString &name)
{
    const TtplPtr &t = eventsTemplate();
    return t && t->getSection(name, false);
}

void TcounterHooks::increment(const QString &counter)
{
    if (counter == QLatin1StringView("hits-total"))
        ++opts().hitsTotal;
    else if (counter == QLatin1StringView("downloads-total"))
        ++opts().downloadsTotal;
    else if (counter == QLatin1StringView("upload-total"))
        ++opts().uploadTotal;
}

void TcounterHooks::addressSeen(const QString &address)
{
    addresses.add(opts().ipsEverConnected, address);
}

bool TcounterHooks::selfTestRunning()
{
    return selfTestOn;
}

QByteArray TcounterHooks::graphPicture()
{
    return {};
}
