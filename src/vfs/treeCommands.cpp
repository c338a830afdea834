#include "vfs/treeCommands.h"

#include "util/asciiCase.h"
#include "vfs/account.h"
#include "vfs/file.h"

#include <algorithm>
#include <functional>

TtreeCommands offeredTreeCommands(const TtreeMenuState &s)
{
    TtreeCommands on;
    const auto offer = [&on, &s](TtreeCommand c, bool when, bool expertOnly = false) {
        if (when && (s.expert || !expertOnly))
            on.set(c);
    };
    const QList<const Tfile *> &sel = s.selection;
    const Tfile *only = sel.size() == 1 ? sel.first() : nullptr;
    const auto anyOf = [&sel](auto test) {
        return std::any_of(sel.cbegin(), sel.cend(), [&test](const Tfile *f) { return f && test(*f); });
    };

    offer(TC_ADD_FILES, true);
    offer(TC_ADD_FOLDER, true);
    offer(TC_PROPERTIES, true);
    const bool newFolder = sel.isEmpty() || (only && only->isFolder());
    offer(TC_NEW_FOLDER, newFolder);
    offer(TC_NEW_LINK, newFolder, true);
    offer(TC_SET_USER_PASS, s.focused);
    offer(TC_COPY_URL, s.focused);
    offer(TC_PURGE, s.focused, true);
    offer(TC_BIND_ROOT, only && only->isRoot() && only->isVirtualFolder(), true);
    offer(TC_UNBIND_ROOT, only && only->isRoot() && only->isRealFolder(), true);

    offer(TC_SET_URL, anyOf([](const Tfile &f) { return f.isLink(); }));
    const bool remove = anyOf([](const Tfile &f) { return !f.isRoot(); });
    offer(TC_REMOVE, remove);
    offer(TC_FLAG_NEW, s.newFlagMinutes >= 1 && anyOf([](const Tfile &f) { return !f.isNew(); }));
    offer(TC_RESET_NEW, s.newFlagMinutes > 0 && anyOf([](const Tfile &f) { return f.isNew(); }));
    offer(TC_TO_VIRTUAL, anyOf([](const Tfile &f) { return f.isRealFolder() && !f.isRoot(); }), true);
    offer(TC_TO_REAL, anyOf([](const Tfile &f) { return f.isVirtualFolder() && !f.isRoot() && !f.resource.isEmpty(); }),
          true);
    offer(TC_RESET_USER_PASS, anyOf([](const Tfile &f) { return !f.user.isEmpty(); }));
    offer(TC_COPY_URL_WITH_FINGERPRINT, anyOf([](const Tfile &f) { return !f.isFolder() && !f.isLink(); }), true);

    if (only) {
        offer(TC_DEFAULT_ADD_POINT, only->isFolder(), true);
        offer(TC_EDIT_RESOURCE, !only->flags.has(FA_VIRTUAL), true);
        offer(TC_RENAME, remove);
        offer(TC_OPEN, !only->isVirtualFolder());
        offer(TC_BROWSE, true, true);
        offer(TC_PASTE, s.clipboardHasFiles);
        offer(TC_COPY_URL_WITH_PASSWORD, !s.passwordNames.isEmpty(), true);
    }
    offer(TC_COPY_URL_OTHER_HOST, s.focused && s.urlAddressCount > 1, true);
    return on;
}

QStringList passwordUrlNames(const Tfile &f, const Taccounts &accounts)
{
    QStringList out;
    // Names already expanded: a group that is (through others) a member of
    // itself is expanded once.
    QStringList seen;
    std::function<void(const QString &)> expand = [&](const QString &name) {
        const Taccount *a = accounts.getAccount(name, true);
        if (!a || inList(a->user, seen))
            return;
        seen << a->user;
        if (!a->group)
            out << a->user;
        for (const Taccount &member : accounts.list)
            if (inList(a->user, member.link))
                expand(member.user);
    };
    for (TfileAction action : {FA_DELETE, FA_UPLOAD, FA_ACCESS})
        for (const QString &n : f.getAccountsFor(action, true))
            expand(n);
    std::sort(out.begin(), out.end(), [](const QString &a, const QString &b) { return compareText(a, b) < 0; });
    return out;
}
