#include "tpl/cachedTpls.h"

#include "tpl/mainTemplate.h"
#include "util/files.h"
#include "util/service.h"
#include "util/workingFolder.h"

#include <QFileInfo>

TtplPtr TcachedTpls::getTplFor(const QString &fn)
{
    // Keyed by the absolute path: after "chdir" the same relative name is
    // another file.
    const QString key = inWorkingFolder(fn.trimmed());
    qsizetype i = 0;
    while (i < entries.size() && entries[i].key != key)
        ++i;
    if (i == entries.size()) {
        entries.append({key, 0, -1, nullptr});
        if (entries.size() > kMaxEntries) {
            entries.removeFirst();
            --i;
        }
    }
    // Only regular files count: a FIFO or a device is never opened.
    const QFileInfo fi(key);
    const qint64 mtime = fi.isFile() ? qMax<qint64>(1, fi.lastModified().toMSecsSinceEpoch()) : 0;
    const qint64 size = mtime ? fi.size() : -1;
    Tentry &e = entries[i];
    if (mtime == e.mtime && size == e.size) return e.tpl;
    e.mtime = mtime;
    e.size = size;
    e.tpl = mtime ? std::make_shared<Ttpl>(loadTextFile(fi.absoluteFilePath())) : nullptr;
    return e.tpl;
}

TcachedTpls &cachedTpls()
{
    return Tservice<Ttemplates>::get().cache;
}
