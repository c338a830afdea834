#include "config/optionsCopy.h"

#include "config/options.h"
#include "config/treeOptions.h"
#include "util/asciiCase.h"
#include "util/masks.h"
#include "vfs/file.h"
#include "vfs/vfs.h"

#include <QHash>
#include <QSet>

#include <algorithm>

ToptionsCopy ToptionsCopy::load(const Toptions &o, const Taccounts &live)
{
    ToptionsCopy c;
    for (const Tban &b : o.banList)
        c.bans += TbanRow{b.ip, b.comment};
    c.noReplyBan = o.noReplyBan;
    c.accounts.list = live.list;
    for (Taccount &a : c.accounts.list)
        a.wasUser = a.user;
    c.mimeTypes = o.mimeTypes;
    // The built-in pairs whose mask the stored ones lack follow them.
    const QStringList builtIn = Toptions::defaultMimeTypes();
    for (int i = 0; i + 1 < builtIn.size() && i / 2 < Toptions::restoredMimePairs; i += 2) {
        bool present = false;
        for (int j = 0; j + 1 < o.mimeTypes.size(); j += 2)
            present = present || o.mimeTypes.at(j) == builtIn.at(i);
        if (!present)
            c.mimeTypes << builtIn.at(i) << builtIn.at(i + 1);
    }
    c.inBrowserIfMime = o.inBrowserIfMime;
    c.trayMessage = QString(o.trayMessage).remove(u'\n').replace(u'\r', u'\n');
    for (int i = 0; i + 1 < o.address2name.size(); i += 2)
        c.address2name += TnameRow{o.address2name.at(i), o.address2name.at(i + 1)};
    c.iconMasks = o.iconMasks;
    return c;
}

QString ToptionsCopy::check()
{
    for (qsizetype i = bans.size() - 1; i >= 0; --i) {
        const QString mask = bans.at(i).mask.trimmed();
        if (mask.isEmpty())
            continue;
        for (qsizetype j = 0; j < i; ++j)
            if (bans.at(j).mask.trimmed() == mask)
                return MSG_BAN_DUPLICATED.arg(mask);
        if (!isAddressMaskValid(mask))
            return MSG_BAN_SYNTAX.arg(mask);
    }
    for (qsizetype i = address2name.size() - 1; i >= 0; --i) {
        const TnameRow &r = address2name.at(i);
        const QString mask = r.mask.trimmed();
        if (mask.isEmpty() && r.name.trimmed().isEmpty()) {
            address2name.removeAt(i);
            continue;
        }
        if (!mask.isEmpty() && !isAddressMaskValid(mask))
            return MSG_ADDRESS2NAME_SYNTAX.arg(mask);
    }
    for (const Taccount &a : accounts.list) {
        const QString why = checkAccount(accounts, a);
        if (!why.isEmpty())
            return why;
    }
    return {};
}

QString checkAccount(const Taccounts &accounts, const Taccount &a)
{
    const QString why = accounts.checkNewName(a.user, &a);
    if (!why.isEmpty())
        return why;
    if (!validPassword(a.pwd))
        return invalidPasswordMessage();
    return {};
}

QStringList ToptionsCopy::orphanedPermissions(const Tvfs &tree) const
{
    QSet<QString> kept; // current names and old names that are renamed
    for (const Taccount &a : accounts.list) {
        kept.insert(asciiLower(a.user));
        if (!a.wasUser.isEmpty())
            kept.insert(asciiLower(a.wasUser));
    }
    static const char *const listNames[FA_ACTION_COUNT] = {"access", "delete", "upload"};
    QStringList out;
    tree.root()->recursiveApply([&](Tfile &f, bool) {
        for (int action = 0; action < FA_ACTION_COUNT; ++action) {
            const QStringList &list = f.accounts[action];
            if (list.isEmpty())
                continue;
            const bool anyLeft = std::any_of(list.cbegin(), list.cend(), [&](const QString &n) {
                return n.startsWith(u'*') || n.startsWith(u'@') || kept.contains(asciiLower(n));
            });
            if (!anyLeft)
                out += QStringLiteral("%1 (%2)").arg(f.url(), QLatin1String(listNames[action]));
        }
        return 0;
    });
    return out;
}

void ToptionsCopy::save(Toptions &o, Taccounts &live, Tvfs &tree) const
{
    o.noReplyBan = noReplyBan;
    o.banList.clear();
    for (const TbanRow &r : bans)
        if (!r.mask.trimmed().isEmpty())
            o.banList += Tban{r.mask.trimmed(), r.comment};
    o.inBrowserIfMime = inBrowserIfMime;
    o.mimeTypes = mimeTypes;
    o.address2name.clear();
    for (const TnameRow &r : address2name)
        if (!r.mask.trimmed().isEmpty())
            o.address2name << r.name << r.mask.trimmed();
    // Lines become CR-separated: the stored form.
    o.trayMessage = QString(trayMessage).replace(u'\n', u'\r');
    o.iconMasks.clear();
    for (const TiconMask &m : iconMasks)
        if (!m.mask.trimmed().isEmpty())
            o.iconMasks += TiconMask{m.mask.trimmed(), m.index};
    live.list = accounts.list;
    tree.purgeVFSaccounts();
    for (Taccount &a : live.list)
        a.wasUser = a.user;
    applyOptionsToTree(o, tree);
}

int compareBanMasks(const QString &a, const QString &b)
{
    const QStringList pa = a.split(u'.'), pb = b.split(u'.');
    for (qsizetype i = 0; i < qMin(pa.size(), pb.size()); ++i) {
        bool okA = false, okB = false;
        const qlonglong na = pa.at(i).toLongLong(&okA), nb = pb.at(i).toLongLong(&okB);
        if (okA && okB) {
            if (na != nb)
                return na < nb ? -1 : 1;
            continue;
        }
        if (pa.at(i).size() != pb.at(i).size())
            return pa.at(i).size() < pb.at(i).size() ? -1 : 1;
        const int c = pa.at(i).compare(pb.at(i));
        if (c)
            return c < 0 ? -1 : 1;
    }
    return pa.size() == pb.size() ? 0 : (pa.size() < pb.size() ? -1 : 1);
}

void sortBanRows(QList<TbanRow> &rows)
{
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TbanRow &x, const TbanRow &y) { return compareBanMasks(x.mask, y.mask) < 0; });
}

QString newAccountName(const Taccounts &accounts)
{
    const QString base = QStringLiteral("new user");
    QString name = base;
    for (int n = 2; accounts.accountExists(name, true); ++n)
        name = QStringLiteral("%1 (%2)").arg(base).arg(n);
    return name;
}

void sortAccounts(QList<Taccount> &list)
{
    const auto less = [](const Taccount &x, const Taccount &y) {
        return x.user.compare(y.user, Qt::CaseInsensitive) < 0;
    };
    if (std::is_sorted(list.cbegin(), list.cend(), less))
        std::stable_sort(list.begin(), list.end(), [&less](const Taccount &x, const Taccount &y) { return less(y, x); });
    else
        std::stable_sort(list.begin(), list.end(), less);
}

QStringList missingLinkedUsers(const Taccounts &accounts, const QStringList &links)
{
    QStringList out;
    for (const QString &l : links)
        if (!l.trimmed().isEmpty() && !accounts.accountExists(l.trimmed(), true))
            out += l.trimmed();
    return out;
}

QList<TprotectedResource> protectedResources(const Tvfs &tree, const Taccounts &accounts, const Taccount &a)
{
    static const char *const actionNames[FA_ACTION_COUNT] = {"Access", "Delete", "Upload"};
    QList<TprotectedResource> out;
    tree.root()->recursiveApply([&](Tfile &f, bool) {
        QStringList actions;
        for (int action = 0; action < FA_ACTION_COUNT; ++action) {
            const QStringList &list = f.accounts[action];
            if (list.isEmpty())
                continue;
            const QString name = QLatin1String(actionNames[action]);
            if (inList(USER_ANY_ACCOUNT.toString(), list) || inList(a.user, list)) {
                actions += name;
                continue;
            }
            // Through a group (enabled ones only, as the decision itself).
            const Taccount *via = accounts.searchAccountAndGroups(
                &a, [&list](const Taccount &r) { return inList(r.user, list); });
            if (via)
                actions += QStringLiteral("%1 via %2").arg(name, via->user);
        }
        if (!actions.isEmpty())
            out += TprotectedResource{&f, QStringLiteral("%1 [%2]").arg(f.name, actions.join(QStringLiteral(", ")))};
        return 0;
    });
    return out;
}

QString checkCredentials(const QString &user, const QString &pwd, const QString &pwd2)
{
    if (!user.isEmpty() && !validUsername(user))
        return MSG_INVALID_USERNAME;
    if (!pwd.isEmpty() && !validPassword(pwd)) {
        // The password message without its first line.
        const QString m = invalidPasswordMessage();
        return m.mid(m.indexOf(u'\r') + 1);
    }
    if (user.isEmpty() && !pwd.isEmpty())
        return MSG_USER_MANDATORY;
    if (pwd != pwd2)
        return MSG_PASSWORDS_DIFFER;
    return {};
}
