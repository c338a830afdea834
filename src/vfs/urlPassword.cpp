#include "vfs/urlPassword.h"

#include "vfs/account.h"
#include "vfs/file.h"

QString passwordForUrl(const Tfile &f, const QString &name, const Taccounts &accounts)
{
    const Tfile *decider = &f;
    while (decider && decider->accounts[FA_ACCESS].isEmpty() && decider->user.isEmpty())
        decider = decider->parent();
    // The node's own pair counts only for its own user name (exactly).
    if (decider && !decider->user.isEmpty() && decider->user == name)
        return decider->pwd;
    const Taccount *a = accounts.getAccount(name);
    return a ? a->pwd : QString();
}

QString fullUrlWithPassword(const Tfile &f, const QString &name, const Taccounts &accounts)
{
    return f.fullURL(QString(), name, passwordForUrl(f, name, accounts));
}
