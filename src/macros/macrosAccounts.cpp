// Macros that create, change, read and delete accounts and groups, and test
// membership: new account, delete account, set account, get account, member of.
#include "macros/macrosAccounts.h"
#include "macros/macrosRegistration.h"

#include "macros/accountNotes.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "util/asciiCase.h"
#include "vfs/account.h"
#include "vfs/connView.h"
#include "vfs/vfs.h"

namespace {

Taccounts &accounts()
{
    return Taccounts::global();
}

void changed()
{
    if (const auto &hook = accountsChangedByMacro())
        hook();
}

// The account the run's client is logged in with: its name and password
// must match, so that presented but wrong credentials count for nothing.
Taccount *requesterAccount(const TmacroCall &c, const TrequesterLookup &requester)
{
    TconnView *client = c.md.cd && requester ? requester(c.md.cd) : nullptr;
    if (!client)
        return nullptr;
    Taccount *a = accounts().getAccount(client->user());
    return a && a->enabled && a->pwd == client->pwd() ? a : nullptr;
}

// The account named by parameter 0, else the requester's.
Taccount *accountOf(const TmacroCall &c, const TrequesterLookup &requester)
{
    const QString name = c.par(0);
    return name.isEmpty() ? requesterAccount(c, requester) : accounts().getAccount(name, true);
}

QStringList splitNames(const QString &value)
{
    QStringList out;
    for (const QString &n : value.split(u';')) {
        const QString t = n.trimmed();
        if (!t.isEmpty())
            out << t;
    }
    return out;
}

// Permission lists of the tree follow a renamed account.
void renameInTree(const QString &oldName, const QString &newName)
{
    Tvfs &tree = Tvfs::instance();
    bool any = false;
    tree.root()->recursiveApply([&](Tfile &f, bool) {
        for (QStringList &list : f.accounts) {
            bool hit = false;
            for (QString &n : list)
                if (sameText(n, oldName)) {
                    n = newName;
                    hit = true;
                }
            if (hit) {
                list.removeDuplicates();
                sortAccountList(list);
                any = true;
            }
        }
        return 0;
    });
    if (any)
        tree.setModified(true);
}

bool safeHeaderText(const QString &s)
{
    return !s.contains(u'\r') && !s.contains(u'\n') && !s.contains(QChar(0));
}

// False when a value was refused (the others are applied all the same).
bool applySetAccount(const TmacroCall &c, Taccount &a)
{
    bool allTaken = true;
    if (const auto v = c.namedRaw(QStringLiteral("password"))) {
        if (validPassword(*v))
            a.pwd = *v;
        else
            allTaken = false;
    }
    if (const auto v = c.namedRaw(QStringLiteral("newname"))) {
        // A name another record has would make logins ambiguous (the first
        // record of a name wins): refused, like an invalid one.
        const QString newName = v->trimmed();
        const QString oldName = a.user;
        if (newName != oldName) {
            if (accounts().rename(oldName, newName))
                renameInTree(oldName, newName);
            else
                allTaken = false;
        }
    }
    // Sent in a Location header after login.
    if (const auto v = c.namedRaw(QStringLiteral("redirect"))) {
        if (safeHeaderText(*v))
            a.redir = v->trimmed();
        else
            allTaken = false;
    }
    if (const auto v = c.namedRaw(QStringLiteral("no limits")))
        a.noLimits = macroIsTrue(*v);
    if (const auto v = c.namedRaw(QStringLiteral("enabled")))
        a.enabled = macroIsTrue(*v);
    if (const auto v = c.namedRaw(QStringLiteral("is group")))
        a.group = macroIsTrue(*v);
    if (const auto v = c.namedRaw(QStringLiteral("member of")))
        a.link = splitNames(*v);
    if (const auto v = c.namedRaw(QStringLiteral("add member of")))
        for (const QString &n : splitNames(*v))
            if (!inList(n, a.link))
                a.link << n;
    if (const auto v = c.namedRaw(QStringLiteral("remove member of"))) {
        const QStringList gone = splitNames(*v);
        a.link.removeIf([&gone](const QString &n) { return inList(n, gone); });
    }
    if (const auto v = c.namedRaw(QStringLiteral("notes")))
        a.notes = *v;
    if (const auto v = c.namedRaw(QStringLiteral("notes key")))
        setNotesKey(a.notes, v->trimmed());
    return allTaken;
}

void newAccountMacro(TmacroCall &c)
{
    c.result.clear();
    const QString name = c.par(0);
    if (!validUsername(name) || accounts().accountExists(name, true))
        return;
    Taccount a;
    a.user = name;
    a.enabled = false; // a new account waits for "enabled"
    accounts().list.append(a);
    applySetAccount(c, accounts().list.last());
    c.result = macroDone;
    changed();
}

void deleteAccountMacro(TmacroCall &c)
{
    c.result.clear();
    const QString name = c.par(0);
    QList<Taccount> &list = accounts().list;
    const auto it = std::find_if(list.begin(), list.end(), [&name](const Taccount &a) { return sameText(a.user, name); });
    if (name.isEmpty() || it == list.end())
        return;
    const QString gone = it->user;
    list.erase(it);
    // A later record of the same name must not inherit memberships.
    for (Taccount &a : list)
        a.link.removeIf([&gone](const QString &n) { return sameText(n, gone); });
    Tvfs::instance().purgeVFSaccounts();
    changed();
}

void setAccountMacro(TmacroCall &c, const TrequesterLookup &requester)
{
    c.result.clear();
    Taccount *a = accountOf(c, requester);
    if (!a)
        return;
    // " " says that everything asked was stored: a caller reporting a new
    // password must not say "ok" for one that was refused.
    if (applySetAccount(c, *a))
        c.result = macroDone;
    changed();
}

QString accountProperty(const TmacroCall &c, const Taccount &a)
{
    const QString prop = asciiLower(c.par(1));
    if (prop == u"redirect")
        return a.redir;
    if (prop == u"no limits")
        return macroBool(a.noLimits);
    if (prop == u"enabled")
        return macroBool(a.enabled);
    if (prop == u"is group")
        return macroBool(a.group);
    if (prop == u"member of")
        return a.link.join(u';');
    if (prop == u"notes")
        return a.notes;
    if (prop == u"password")
        return a.pwd;
    if (prop == u"password is")
        return macroBool(a.pwd == c.raw(2) || a.pwd.trimmed() == c.par(2));
    if (prop == u"exists")
        return QStringLiteral("1");
    return {};
}

void getAccountMacro(TmacroCall &c, const TrequesterLookup &requester)
{
    c.result.clear();
    const Taccount *a = accountOf(c, requester);
    if (!a)
        return;
    if (const auto key = c.namedRaw(QStringLiteral("notes key")))
        c.result = notesKeyValue(a->notes, key->trimmed());
    else
        c.result = accountProperty(c, *a);
}

// Every group of `a`: its own links in order, then, transitively, the links
// of each listed enabled record not listed yet.
QStringList groupsOf(const Taccount &a)
{
    QStringList out;
    const auto take = [&out, &a](const QString &n) {
        if (!n.isEmpty() && !sameText(n, a.user) && !inList(n, out))
            out << n;
    };
    for (const QString &n : a.link)
        take(n);
    for (qsizetype i = 0; i < out.size(); ++i) {
        const Taccount *r = accounts().getAccount(out.at(i), true);
        if (r && r->enabled)
            for (const QString &n : r->link)
                take(n);
    }
    return out;
}

void memberOfMacro(TmacroCall &c, const TrequesterLookup &requester)
{
    c.result.clear();
    const auto user = c.parOrNamed(1, QStringLiteral("user"));
    const Taccount *a = user && !user->isEmpty() ? accounts().getAccount(*user, true)
                                                 : requesterAccount(c, requester);
    if (!a)
        return;
    const auto groups = c.parOrNamed(0, QStringLiteral("group"));
    if (groups && !groups->isEmpty()) {
        const QStringList wanted = splitNames(*groups);
        const Taccount *hit =
            accounts().searchAccountAndGroups(a, [&wanted](const Taccount &r) { return inList(r.user, wanted); });
        c.result = hit ? hit->user : QString();
    } else {
        c.result = groupsOf(*a).join(u';');
    }
}

} // namespace

std::function<void()> &accountsChangedByMacro()
{
    static std::function<void()> hook;
    return hook;
}

void registerAccountMacros(TmacroRegistry &r, TrequesterLookup requester)
{
    r.add(QStringLiteral("new account"), 1, newAccountMacro);
    r.add(QStringLiteral("delete account"), 1, deleteAccountMacro);
    r.add(QStringLiteral("set account"), 2,
          [requester](TmacroCall &c) { setAccountMacro(c, requester); });
    r.add(QStringLiteral("get account"), 2,
          [requester](TmacroCall &c) { getAccountMacro(c, requester); });
    r.add(QStringLiteral("member of"), 1,
          [requester](TmacroCall &c) { memberOfMacro(c, requester); });
}
