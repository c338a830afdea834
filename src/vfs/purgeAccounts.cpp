// Carrying account renames and deletions into the permission lists.

#include "vfs/account.h"
#include "vfs/vfs.h"
#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/masks.h"

#include <QHash>
#include <QSet>

namespace {
QString folded(const QString &s)
{
    return asciiLower(s);
}
} // namespace

bool Tvfs::purgeVFSaccounts()
{
    QSet<QString> current;
    QHash<QString, QString> renamed;
    for (const Taccount &a : accounts().list) {
        current.insert(folded(a.user));
        if (!a.wasUser.isEmpty() && !sameText(a.wasUser, a.user))
            renamed.insert(folded(a.wasUser), a.user);
    }
    bool changed = false;
    root()->recursiveApply([&](Tfile &f, bool) {
        for (QStringList &list : f.accounts) {
            QStringList result = list;
            bool replaced = false;
            bool dropped = false;
            for (qsizetype i = result.size() - 1; i >= 0; --i) {
                const QString &n = result.at(i);
                const auto to = renamed.constFind(folded(n));
                if (to != renamed.cend()) {
                    result[i] = *to;
                    replaced = true;
                } else if (n.isEmpty()
                           || (!n.startsWith(u'*') && !n.startsWith(u'@') && !current.contains(folded(n)))) {
                    result.removeAt(i);
                    dropped = true;
                }
            }
            if (!replaced && !dropped)
                continue;
            // Emptying a list would hand the node its parent's rule (often
            // public): the stale names stay, matching nobody.
            if (result.isEmpty()) {
                if (logger_)
                    logger_(QStringLiteral("Permissions of %1 name only missing accounts (%2): left as they are")
                                .arg(f.url(), list.join(u';')));
                continue;
            }
            if (replaced)
                sortAccountList(result);
            list = result;
            changed = true;
        }
        return 0;
    });
    if (changed)
        modified_ = true;
    return changed;
}
