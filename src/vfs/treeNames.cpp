#include "vfs/treeNames.h"

#include "util/asciiCase.h"
#include "vfs/file.h"

#include <QSet>

namespace {

bool dotsOnly(const QString &name)
{
    return !name.isEmpty() && name.count(u'.') == name.size();
}

bool hasControl(const QString &name)
{
    return std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 32; });
}

} // namespace

bool validNodeName(const QString &name)
{
    if (name.isEmpty() || dotsOnly(name) || hasControl(name))
        return false;
    return std::none_of(name.cbegin(), name.cend(), [](QChar c) { return QStringView(u"\\/:*?<>|\"").contains(c); });
}

bool validLinkName(const QString &name)
{
    return !name.isEmpty() && !name.contains(u'/') && !dotsOnly(name) && !hasControl(name);
}

Tfile *childNamed(const Tfile *folder, const QString &name, const Tfile *except)
{
    if (folder)
        for (const TfilePtr &c : folder->children())
            if (c.data() != except && sameText(c->name, name))
                return c.data();
    return nullptr;
}

QString freeChildName(const Tfile *folder, const QString &name, const Tfile *except)
{
    if (!childNamed(folder, name, except))
        return name;
    // The names in use, once: a folder of many items is not walked again
    // for every number tried.
    QSet<QString> taken;
    for (const TfilePtr &c : folder->children())
        if (c.data() != except)
            taken.insert(asciiLower(c->name));
    for (int n = 2;; ++n) {
        const QString candidate = QStringLiteral("%1 (%2)").arg(name).arg(n);
        if (!taken.contains(asciiLower(candidate)))
            return candidate;
    }
}
