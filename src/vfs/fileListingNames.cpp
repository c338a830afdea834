#include "vfs/fileListingNames.h"

#include "vfs/comments.h"
#include "vfs/diskFolderCache.h"
#include "util/asciiCase.h"

#include <QFile>

#include <dirent.h>

#include <algorithm>
#include <cstring>

namespace {

TsideFileScope *gCurrent = nullptr;

bool isSideName(const QString &name)
{
    // Asked for every name of a folder: the last letter tells most apart.
    if (name.isEmpty())
        return false;
    const char16_t last = name.back().unicode();
    if (last == u'5')
        return endsWithText(name, u".md5");
    return (last == u't' || last == u'T') && endsWithText(name, u".comment");
}

} // namespace

QStringList readSideFileNames(const QString &folder, bool *ok)
{
    QStringList out;
    if (ok)
        *ok = false;
    if (folder.isEmpty() || folder.contains(QChar(0)))
        return out;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return out;
    while (const dirent *e = ::readdir(dir)) {
        const char *raw = e->d_name;
        const qsizetype len = qsizetype(qstrlen(raw));
        // Cheap byte test first: most entries are not side files.
        if (len < 4 || (raw[len - 4] != '.' && (len < 8 || raw[len - 8] != '.')))
            continue;
        const QString name = QString::fromUtf8(raw, len);
        if (isSideName(name) && name.toUtf8() == QByteArrayView(raw, len))
            out.append(name);
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end());
    if (ok)
        *ok = true;
    return out;
}

TsideFileScope::TsideFileScope()
    : outer(gCurrent)
{
    gCurrent = this;
}

TsideFileScope::~TsideFileScope()
{
    gCurrent = outer;
}

TsideFileScope *TsideFileScope::current()
{
    return gCurrent;
}

void TsideFileScope::forgetAll()
{
    for (TsideFileScope *s = gCurrent; s; s = s->outer) {
        s->folders.clear();
        s->last = nullptr;
        s->lastPath.clear();
    }
}

const TsideFileScope::Tnames &TsideFileScope::entry(const QString &folder)
{
    const QString key = folder.size() > 1 && folder.endsWith(u'/') ? folder.chopped(1) : folder;
    auto it = folders.find(key);
    if (it == folders.end()) {
        Tnames n;
        // A folder listed before has its names at hand.
        if (const TdiskFolderEntries kept = TdiskFolderCache::instance().keptEntries(key)) {
            n.readable = true;
            for (const TdiskFolderEntry &e : *kept) // sorted by name
                if (isSideName(e.name))
                    n.sorted.append(e.name);
        } else {
            n.sorted = readSideFileNames(key, &n.readable);
        }
        last = nullptr; // the insertion may move the entries
        it = folders.insert(key, n);
    }
    return *it;
}

const QStringList &TsideFileScope::namesIn(const QString &folder, bool *readable)
{
    const Tnames &n = entry(folder);
    if (readable)
        *readable = n.readable;
    return n.sorted;
}

bool TsideFileScope::inLastFolder(QStringView path) const
{
    // The next item of the folder: the path asked for last up to its last
    // "/" starts this one, and a name without "/" follows. Cheaper than
    // finding the last "/" and comparing the folders.
    if (!last || lastCut < 0 || path.size() <= lastCut + 1)
        return false;
    const qsizetype nameStart = lastCut + 1;
    const char16_t *p = path.utf16();
    const char16_t *end = p + path.size();
    return std::memcmp(p, lastPath.utf16(), size_t(nameStart) * sizeof(char16_t)) == 0 &&
           std::find(p + nameStart, end, u'/') == end;
}

bool TsideFileScope::mayHaveAt(const QString &path, QStringView suffix)
{
    // A page asks for every item of one folder: the folder met last answers
    // without its name being built again.
    // An item is mostly asked for again right away, with another suffix:
    // the very string asked for last (held, so unchanged) needs no look.
    // (A string over foreign characters has no capacity: it is not trusted.)
    const bool samePath = last && lastPath.capacity() > 0 &&
                          path.data_ptr().data() == lastPath.data_ptr().data() &&
                          path.size() == lastPath.size();
    qsizetype cut = lastCut;
    if (!samePath) {
        if (!inLastFolder(path)) {
            cut = path.lastIndexOf(u'/');
            const QStringView folder =
                cut < 0 ? QStringView() : cut == 0 ? QStringView(u"/") : QStringView(path).left(cut);
            if (!last || folder != QStringView(lastFolder)) {
                lastFolder = folder.toString();
                const Tnames &n = entry(lastFolder);
                last = &n;
            }
        }
        lastPath = path;
        lastCut = cut;
    }
    if (!last->readable)
        return true;
    if (last->sorted.isEmpty())
        return false; // most folders: no name to build
    const auto less = [](QStringView a, QStringView b) { return a < b; };
    const QStringView name = QStringView(path).mid(cut + 1);
    if (suffix.isEmpty())
        return std::binary_search(last->sorted.begin(), last->sorted.end(), name, less);
    QString whole;
    whole.reserve(name.size() + suffix.size());
    whole.append(name).append(suffix);
    return std::binary_search(last->sorted.begin(), last->sorted.end(), QStringView(whole), less);
}

bool sideFileMayExist(const QString &path, QStringView suffix)
{
    TsideFileScope *s = TsideFileScope::current();
    return !s || s->mayHaveAt(path, suffix);
}
