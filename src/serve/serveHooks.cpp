// The plain answers used until the modules owning each concern install theirs.
#include "serve/serveHooks.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "script/macroEngine.h"
#include "tpl/mainTemplate.h"
#include "serve/connData.h"
#include "vfs/account.h"
#include "serve/treeAccess.h"

#include <algorithm>

bool TsessionHooks::restore(TconnData &cd)
{
    const ThttpRequest &req = cd.conn->request;
    cd.fUser = req.user;
    cd.fPwd = req.pwd;
    const Taccount *a = cd.fUser.isEmpty() ? nullptr : Taccounts::global().getAccount(cd.fUser);
    cd.account = a && a->pwd == cd.fPwd ? a : nullptr;
    return true;
}

QString TsessionHooks::checkLoginForm(TconnData &cd)
{
    const QString user = cd.postVars.value(QStringLiteral("user"));
    const Taccount *a = Taccounts::global().getAccount(user);
    if (!a)
        return QStringLiteral("username not found");
    if (a->pwd != cd.postVars.value(QStringLiteral("password")))
        return QStringLiteral("bad password");
    cd.account = a;
    cd.fUser = a->user;
    cd.fPwd = a->pwd;
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
    ThttpReply &r = cd.conn->reply;
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

void TpageHooks::archive(TconnData &cd, Tfile &)
{
    cd.conn->reply.mode = HRM_DENY;
}

void TuploadHooks::postEvent(TserverEvent, TconnData &) {}

void TuploadHooks::abandon(TconnData &cd)
{
    if (cd.f) {
        cd.f->close();
        cd.f.reset();
    }
}

const TnameValueList &TeventHooks::noSymbols()
{
    static const TnameValueList none;
    return none;
}

QString TeventHooks::run(const QString &name, TconnData *cd, const TnameValueList &symbols)
{
    if (!has(name))
        return {};
    QStringList table;
    for (const auto &e : symbols.entries())
        table << e.name << e.value;
    return runEventSection(name, table, cd);
}

bool TeventHooks::has(const QString &name)
{
    const TtplPtr t = eventsTemplate();
    return t && t->getSection(name, false);
}

void TcounterHooks::increment(const QString &counter)
{
    if (counter == u"hits-total")
        ++opts().hitsTotal;
    else if (counter == u"downloads-total")
        ++opts().downloadsTotal;
}

void TcounterHooks::addressSeen(const QString &address)
{
    QStringList &l = opts().ipsEverConnected;
    const auto at = std::lower_bound(l.begin(), l.end(), address);
    if (at == l.end() || *at != address)
        l.insert(at, address);
}

bool TcounterHooks::selfTestRunning()
{
    return false;
}

QByteArray TcounterHooks::graphPicture()
{
    return {};
}
