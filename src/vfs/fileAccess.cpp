// Permission decisions on nodes.

#include "vfs/account.h"
#include "vfs/connView.h"
#include "vfs/permissions.h"
#include "vfs/vfs.h"
#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/masks.h"

namespace {

const Taccounts &accountsOf(const Tfile &f)
{
    const Tvfs *v = f.vfs();
    return v ? v->accounts() : Taccounts::global();
}

const QString anonymousName = USER_ANONYMOUS.toString();
const QString anyoneName = USER_ANYONE.toString();
const QString anyAccountName = USER_ANY_ACCOUNT.toString();

bool groupOrSelfListed(const Taccounts &accounts, const Taccount *account, const QStringList &list)
{
    return accounts.searchAccountAndGroups(account, [&list](const Taccount &a) { return inList(a.user, list); })
        != nullptr;
}

} // namespace

bool Tfile::accessFor(const QString &username, const QString &password) const
{
    if (isFile() && isDLforbidden())
        return false;
    const Taccounts &accounts = accountsOf(*this);
    for (const Tfile *f = this; f; f = f->parent()) {
        const QStringList &list = f->accounts[FA_ACCESS];
        // Most nodes of a page list nobody: nothing to look through.
        if (list.isEmpty() && f->user.isEmpty())
            continue;
        if (username.isEmpty() && inList(anonymousName, list))
            return true;
        if (!f->user.isEmpty() && sameText(f->user, username) && f->pwd == password)
            return true;
        if (!list.isEmpty()) {
            if (inList(anyoneName, list))
                return true;
            const Taccount *a = accounts.getAccount(username, false);
            if (!a || a->pwd != password)
                return false;
            if (inList(anyAccountName, list))
                return true;
            return groupOrSelfListed(accounts, a, list);
        }
        if (!f->user.isEmpty())
            return false;
    }
    // Nothing protects the node: everyone gets in but disabled accounts.
    if (!username.isEmpty())
        if (const Taccount *a = accounts.getAccount(username, false))
            return a->enabled;
    return true;
}

bool Tfile::accessFor(const TconnView *cd) const
{
    return cd ? accessFor(cd->user(), cd->pwd()) : accessFor(QString(), QString());
}

QStringList Tfile::getAccountsFor(TfileAction action, bool specialUsernames, bool *outInherited) const
{
    if (outInherited)
        *outInherited = false;
    const Taccounts &accounts = accountsOf(*this);
    for (const Tfile *f = this; f; f = f->parent()) {
        QStringList names;
        if (action != FA_UPLOAD || f->isRealFolder())
            for (const QString &n : f->accounts[action])
                if (!n.isEmpty()
                    && ((specialUsernames && n.startsWith(u'@')) || accounts.accountExists(n, specialUsernames)))
                    names.append(n);
        if (action == FA_ACCESS && !f->user.isEmpty())
            names.append(f->user);
        if (!names.isEmpty())
            return names;
        if (outInherited)
            *outInherited = true;
    }
    return {};
}

bool accountAllowed(TfileAction action, const TconnView *cd, const Tfile *node)
{
    if (!node)
        return false;
    if (action == FA_ACCESS)
        return node->accessFor(cd);
    if (node->isTemp())
        node = node->parent();
    if (!node || (action == FA_UPLOAD && !node->isRealFolder()))
        return false;
    const Taccounts &accounts = accountsOf(*node);
    const QString user = cd ? cd->user() : QString();
    const Taccount *account = accounts.getAccount(user, false);
    // A wrong password never lends an account's rights.
    if (account && account->pwd != (cd ? cd->pwd() : QString()))
        account = nullptr;
    for (const Tfile *f = node; f; f = f->parent()) {
        if (action == FA_UPLOAD && !f->isRealFolder())
            continue;
        const QStringList &list = f->accounts[action];
        if (list.isEmpty())
            continue;
        if (inList(anyoneName, list))
            return true;
        if (user.isEmpty() && inList(anonymousName, list))
            return true;
        if (account && inList(anyAccountName, list))
            return true;
        return groupOrSelfListed(accounts, account, list);
    }
    return false;
}
