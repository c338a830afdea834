#include "vfs/usersInVFS.h"

#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/masks.h"

void TusersInVFS::reset()
{
    users_.clear();
}

qsizetype TusersInVFS::indexOf(const QString &usr) const
{
    for (qsizetype i = 0; i < users_.size(); ++i)
        if (sameText(users_[i].user, usr))
            return i;
    return -1;
}

void TusersInVFS::track(const QString &usr, const QString &pwd)
{
    if (usr.isEmpty())
        return;
    qsizetype i = indexOf(usr);
    if (i < 0) {
        users_.append({usr, {}});
        i = users_.size() - 1;
    }
    users_[i].pwds.append(pwd);
}

void TusersInVFS::drop(const QString &usr, const QString &pwd)
{
    const qsizetype i = indexOf(usr);
    if (i < 0)
        return;
    users_[i].pwds.removeOne(pwd);
    if (users_[i].pwds.isEmpty())
        users_.removeAt(i);
}

bool TusersInVFS::match(const QString &usr, const QString &pwd) const
{
    const qsizetype i = indexOf(usr);
    return i >= 0 && users_[i].pwds.contains(pwd);
}
