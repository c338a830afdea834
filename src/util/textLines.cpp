#include "util/textLines.h"

QStringList splitLines(const QString &text)
{
    QStringList lines = text.split(u'\n');
    for (QString &l : lines)
        if (l.endsWith(u'\r'))
            l.chop(1);
    return lines;
}
