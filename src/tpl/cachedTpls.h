// Templates read from files, kept until the file changes.
#pragma once

#include "tpl/tpl.h"

#include <QList>
#include <QString>

class TcachedTpls
{
public:
    // The template of file `fn` (keyed by the exact path), re-read when its
    // modification time changed; none for a file that does not exist. A
    // reload makes a new template, so pages holding the old one are safe.
    TtplPtr getTplFor(const QString &fn);
    void clear() { entries.clear(); }
    qsizetype size() const { return entries.size(); }

    static constexpr qsizetype kMaxEntries = 101;

private:
    struct Tentry
    {
        QString key;
        qint64 mtime = 0; // milliseconds since the epoch; 0 for a missing file
        qint64 size = -1; // with the time: a rewrite within one clock tick is seen
        TtplPtr tpl;
    };
    QList<Tentry> entries; // oldest first
};

// The program's cache ("load tpl", "section" with a file), part of its
// templates.
TcachedTpls &cachedTpls();
