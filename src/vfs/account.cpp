#include "vfs/account.h"

#include "util/service.h"

#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/masks.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>

QString invalidPasswordMessage()
{
    return QStringLiteral("Invalid password.\rThe characters below are not allowed\r/\\:?*\"<>|;&&@");
}

bool validUsername(const QString &name, bool acceptEmpty)
{
    if (name.isEmpty())
        return acceptEmpty;
    if (name.size() > 40)
        return false;
    static const QString forbidden = QStringLiteral("/\\:?*<>|;&\"");
    for (QChar c : name)
        if (forbidden.contains(c) || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    // Macro markers ("|" is already refused above).
    for (const char *marker : {"{.", ".}", "{:", ":}"})
        if (name.contains(QLatin1String(marker)))
            return false;
    return true;
}

Taccounts &Taccounts::global()
{
    return Tservice<Taccounts>::get();
}

const Taccount *Taccounts::getAccount(const QString &name, bool evenGroups) const
{
    if (name.isEmpty())
        return nullptr;
    for (const Taccount &a : list)
        if ((evenGroups || !a.group) && sameText(a.user, name))
            return &a;
    return nullptr;
}

Taccount *Taccounts::getAccount(const QString &name, bool evenGroups)
{
    return const_cast<Taccount *>(std::as_const(*this).getAccount(name, evenGroups));
}

const Taccount *Taccounts::searchAccountAndGroups(const Taccount *account,
                                                  const std::function<bool(const Taccount &)> &test) const
{
    if (!account || !account->enabled)
        return nullptr;
    if (test(*account))
        return account;
    QStringList work = account->link;
    const auto listed = [&work, account](const QString &n) {
        return sameText(n, account->user)
            || std::any_of(work.cbegin(), work.cend(), [&n](const QString &w) { return sameText(w, n); });
    };
    // Names are appended once only, so cycles among groups end the walk.
    for (qsizetype i = 0; i < work.size(); ++i) {
        const Taccount *a = getAccount(work.at(i), true);
        if (!a || !a->enabled)
            continue;
        if (test(*a))
            return a;
        for (const QString &n : a->link)
            if (!listed(n))
                work.append(n);
    }
    return nullptr;
}

QStringList Taccounts::accountNames(bool users, bool groups) const
{
    QStringList names;
    for (const Taccount &a : list)
        if (a.group ? groups : users)
            names.append(a.user);
    return names;
}

QString Taccounts::checkNewName(const QString &name, const Taccount *self) const
{
    if (!validUsername(name))
        return MSG_INVALID_USERNAME;
    const Taccount *other = getAccount(name, true);
    if (other && other != self)
        return MSG_USERNAME_USED;
    return {};
}

bool Taccounts::rename(const QString &oldName, const QString &newName)
{
    Taccount *a = getAccount(oldName, true);
    if (!a || !checkNewName(newName, a).isEmpty())
        return false;
    a->user = newName;
    for (Taccount &r : list)
        for (QString &l : r.link)
            if (sameText(l, oldName))
                l = newName;
    return true;
}

bool inList(const QString &name, const QStringList &list)
{
    return std::any_of(list.cbegin(), list.cend(), [&name](const QString &n) { return sameText(n, name); });
}

void sortAccountList(QStringList &list)
{
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(list.begin(), list.end(),
                     [&collator](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
}
