// File names given by visitors and by scripts.
#include "serve/fileName.h"

namespace {

bool forbiddenChar(QChar c)
{
    return c.unicode() < 32 || QStringView(u"\"*/:<>?\\|").contains(c);
}

} // namespace

bool validFilename(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (QChar c : name)
        if (forbiddenChar(c))
            return false;
    // A component of dots only, two or more ("..", "...").
    return !(name.size() >= 2 && name.count(u'.') == name.size());
}

QString cleanScriptName(const QString &s)
{
    if (s.isEmpty()) // no script gave a name: the usual case
        return s;
    QString r = s;
    r.remove(u'\t').remove(u'\r').remove(u'\n');
    r = r.trimmed();
    for (QChar &c : r)
        if (c.unicode() < 32 || QStringView(u"\"*/<>?|").contains(c))
            c = u'_';
    return r;
}
