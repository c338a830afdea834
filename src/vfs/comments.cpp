#include "vfs/comments.h"

#include "vfs/diskFolderCache.h"

#include "vfs/diskEntry.h"
#include "vfs/file.h"
#include "vfs/fileListingNames.h"
#include "util/asciiCase.h"
#include "util/codePage.h"
#include "util/encodings.h"
#include "util/files.h"
#include "util/inertText.h"
#include "util/textLines.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <functional>

namespace {

const QString descEndMarker = QStringLiteral("\u0004\u00C2");

bool hasLineBreak(const QString &s)
{
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(0));
}

// The name part of a "descript.ion" line: up to the first space outside double
// quotes, quotes removed. `rest` receives what follows that space.
QString descriptionName(const QString &line, QString *rest)
{
    bool quoted = false;
    qsizetype i = 0;
    for (; i < line.size(); ++i) {
        if (line[i] == u'"')
            quoted = !quoted;
        else if (line[i] == u' ' && !quoted)
            break;
    }
    if (rest)
        *rest = i < line.size() ? line.mid(i + 1) : QString();
    QString name = line.left(i);
    name.remove(u'"');
    return name;
}

QString readDescriptIon(const QString &file)
{
    bool ok = false;
    const QByteArray bytes = loadFile(file, -1, 0, &ok);
    if (!ok)
        return {};
    if (commentOptions().oemDescriptIon)
        return codePageToText(bytes);
    return bytesToText(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
}

bool updateCommentsFile(const QString &folder, const QString &name, const QString &cmt)
{
    const QString path = joinPath(folder, COMMENTS_FILE);
    QString text = loadTextFile(path);
    const QString line = name + u'=' + escapeLineBreaks(cmt);
    // The first line starting with "name=" (ASCII case folded).
    qsizetype start = 0;
    bool found = false;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        if (startsWithText(QStringView(text).mid(start, end - start), QString(name + u'='))) {
            qsizetype lineEnd = end;
            if (lineEnd > start && text[lineEnd - 1] == u'\r')
                --lineEnd;
            text.replace(start, lineEnd - start, line);
            found = true;
            break;
        }
        start = end + 1;
    }
    if (!found) {
        if (!text.isEmpty() && !text.endsWith(u'\n'))
            text += QStringLiteral("\r\n");
        text += line;
    }
    return saveTextFile(path, text);
}

void updateDescriptIon(const QString &folder, const QString &name, const QString &cmt)
{
    const QString path = joinPath(folder, DESCRIPT_ION);
    QStringList lines = QFile::exists(path) ? splitLines(readDescriptIon(path)) : QStringList();
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QString desc = escapeLineBreaks(cmt);
    if (desc != cmt)
        desc += descEndMarker;
    const QString shownName = name.contains(u' ') ? u'"' + name + u'"' : name;
    bool found = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!sameText(descriptionName(lines[i], nullptr), name))
            continue;
        if (cmt.isEmpty())
            lines.removeAt(i);
        else
            lines[i] = shownName + u' ' + desc;
        found = true;
        break;
    }
    if (!found && !cmt.isEmpty())
        lines.append(shownName + u' ' + desc);
    if (lines.isEmpty()) {
        QFile::remove(path);
        return;
    }
    saveTextFile(path, lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

// Writes `lines` back to `path` with CR LF line breaks, or removes the file
// when none is left.
void rewriteLines(const QString &path, const QStringList &lines)
{
    if (lines.isEmpty())
        QFile::remove(path);
    else
        saveTextFile(path, lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

// Drops the lines whose name (as `nameOf` reads it, ASCII case folded) is
// in `names`; rewrites the file only when one went.
void dropLines(const QString &path, const QString &text, const QSet<QString> &names,
               const std::function<QString(const QString &)> &nameOf)
{
    QStringList kept;
    bool dropped = false;
    for (const QString &line : splitLines(text)) {
        if (line.isEmpty())
            continue;
        if (names.contains(asciiLower(nameOf(line))))
            dropped = true;
        else
            kept << line;
    }
    if (dropped)
        rewriteLines(path, kept);
}

} // namespace

void forgetComments(const QStringList &deletedPaths)
{
    QHash<QString, QSet<QString>> byFolder;
    for (const QString &p : deletedPaths) {
        const QString name = nameOfPath(p);
        if (!name.isEmpty())
            byFolder[folderOfPath(p)].insert(asciiLower(name));
    }
    for (auto it = byFolder.cbegin(); it != byFolder.cend(); ++it) {
        const QString comments = joinPath(it.key(), COMMENTS_FILE);
        if (QFile::exists(comments))
            dropLines(comments, loadTextFile(comments), it.value(),
                      [](const QString &line) { return line.left(line.indexOf(u'=')); });
        const QString desc = joinPath(it.key(), DESCRIPT_ION);
        if (commentOptions().supportDescriptIon && QFile::exists(desc))
            dropLines(desc, readDescriptIon(desc), it.value(),
                      [](const QString &line) { return descriptionName(line, nullptr); });
    }
}

TcommentOptions &commentOptions()
{
    static TcommentOptions o;
    return o;
}

QString folderOfPath(const QString &path)
{
    const qsizetype cut = path.lastIndexOf(u'/');
    if (cut < 0)
        return {};
    return cut == 0 ? QStringLiteral("/") : path.left(cut);
}

QString nameOfPath(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

namespace {

// The last letter of a name, folded: asked for every entry of a folder, it
// tells most names from the side files' ("t", "n", "5") at once.
char16_t lastFolded(const QString &name)
{
    return name.isEmpty() ? 0 : asciiLower(name.back().unicode());
}

} // namespace

bool isCommentFile(const QString &name)
{
    // Every name below ends with "t" or "n", in either case.
    const char16_t last = lastFolded(name);
    if (last != u't' && last != u'n')
        return false;
    const TcommentOptions &o = commentOptions();
    return name == COMMENTS_FILE || (o.loadSingleCommentFiles && endsWithText(name, COMMENT_FILE_EXT))
        || (o.supportDescriptIon && sameText(name, DESCRIPT_ION));
}

bool isFingerprintFile(const QString &name)
{
    return lastFolded(name) == u'5' && commentOptions().enableFingerprints && endsWithText(name, u".md5");
}

TnameValueList loadCommentsFile(const QString &folder)
{
    return TnameValueList::fromText(loadTextFile(joinPath(folder, COMMENTS_FILE)));
}

void loadDescriptions(const QString &path, TnameValueList &list)
{
    if (!commentOptions().supportDescriptIon)
        return;
    QString text = diskEntryKind(path) == DiskEntry::File ? readDescriptIon(path) : QString();
    if (text.isEmpty())
        text = readDescriptIon(joinPath(diskEntryKind(path) == DiskEntry::Folder ? path : folderOfPath(path),
                                        DESCRIPT_ION));
    for (const QString &line : splitLines(text)) {
        if (line.isEmpty())
            continue;
        QString desc;
        const QString name = descriptionName(line, &desc);
        if (name.isEmpty())
            continue;
        if (desc.endsWith(descEndMarker)) {
            desc.chop(descEndMarker.size());
            desc = unescapeLineBreaks(desc);
        }
        list.append(name, desc.trimmed());
    }
}

QString getDynamicComment(const Tfile &f, bool skipParent)
{
    if (!f.comment.isEmpty())
        return f.comment;
    const TcommentOptions &o = commentOptions();
    if (f.resource.isEmpty() || f.isLink())
        return {};
    if (o.loadSingleCommentFiles && sideFileMayExist(f.resource, COMMENT_FILE_EXT)) {
        const QString single = loadTextFile(f.resource + COMMENT_FILE_EXT);
        if (!single.isEmpty())
            return makeInert(single);
    }
    if (skipParent)
        return {};
    const QString folder = folderOfPath(f.resource);
    const QString name = nameOfPath(f.resource);
    const TnameValueList comments = loadCommentsFile(folder);
    if (comments.contains(name))
        return makeInert(unescapeLineBreaks(comments.value(name)));
    TnameValueList desc;
    loadDescriptions(folder, desc);
    return makeInert(desc.value(name));
}

bool setDynamicComment(Tfile &f, const QString &cmt)
{
    if (!f.isTemp()) {
        f.comment = cmt;
        return true;
    }
    if (f.resource.isEmpty())
        return false;
    const QString folder = folderOfPath(f.resource);
    const QString name = nameOfPath(f.resource);
    // A name with a line break would inject lines into the folder's files.
    if (name.isEmpty() || hasLineBreak(name) || name.contains(u'='))
        return false;
    const QString single = f.resource + COMMENT_FILE_EXT;
    if (diskEntryKind(single) == DiskEntry::File) {
        if (cmt.isEmpty())
            return QFile::remove(single);
        return saveTextFile(single, cmt);
    }
    const TcommentOptions &o = commentOptions();
    const bool commentsExists = QFile::exists(joinPath(folder, COMMENTS_FILE));
    const bool descExists = QFile::exists(joinPath(folder, DESCRIPT_ION));
    bool ok = true;
    if (!o.supportDescriptIon || (commentsExists && !descExists))
        ok = updateCommentsFile(folder, name, cmt);
    if (o.supportDescriptIon)
        updateDescriptIon(folder, name, cmt); // errors here are ignored
    return ok;
}

namespace {

bool beginsWithSectionHeader(const QString &text)
{
    if (!text.startsWith(u'['))
        return false;
    const qsizetype close = text.indexOf(u']');
    if (close < 0)
        return false;
    for (qsizetype i = close + 1; i < text.size() && text[i] != u'\n'; ++i)
        if (text[i] != u' ' && text[i] != u'\t' && text[i] != u'\r')
            return false;
    return true;
}

void putInFront(QString &acc, const QString &t)
{
    if (t.isEmpty())
        return;
    if (acc.isEmpty()) {
        acc = t;
        return;
    }
    QString s = t;
    if (!s.endsWith(QLatin1String("\r\n")))
        s += QStringLiteral("\r\n");
    if (!beginsWithSectionHeader(acc))
        s += QStringLiteral("[]\r\n");
    acc = s + acc;
}

QString nodeDiffText(const Tfile &f)
{
    const QString d = f.diffTpl;
    if (d.isEmpty() || d.contains(u'\n') || d.contains(u'\r'))
        return d;
    // A single line names a file: as written, in the program's folder, in the node's folder.
    const QString prog = commentOptions().programFolder;
    QStringList candidates{absoluteFilePath(d)};
    if (!prog.isEmpty())
        candidates << joinPath(prog, d);
    if (!f.resource.isEmpty())
        candidates << joinPath(f.isFolder() ? f.resource : folderOfPath(f.resource), d);
    for (const QString &c : candidates)
        if (diskEntryKind(c) == DiskEntry::File)
            return loadTextFile(c);
    return d;
}

} // namespace

QString getRecursiveDiffTplAsStr(const Tfile &f, bool *outInherited, bool *outFromDisk)
{
    QString acc;
    bool inherited = false, fromDisk = false;
    const auto addDisk = [&](const QString &folder) {
        const QString t = loadTextFile(joinPath(folder, DIFF_TPL_FILE));
        if (t.isEmpty())
            return;
        putInFront(acc, t);
        fromDisk = true;
    };
    const Tfile *node = &f;
    if (node->isTemp()) {
        // Disk folders from the item up to the real folder of the tree, deepest first.
        const Tfile *real = node->parent();
        QString dir = node->isFolder() ? node->resource : folderOfPath(node->resource);
        const QString stop = real ? real->resource : QString();
        while (!dir.isEmpty() && dir != stop && dir.startsWith(stop + u'/')) {
            addDisk(dir);
            dir = folderOfPath(dir);
        }
        node = real;
    }
    for (; node; node = node->parent()) {
        if (node->isRealFolder() && !node->resource.isEmpty())
            addDisk(node->resource);
        const QString own = nodeDiffText(*node);
        putInFront(acc, own);
        if (!own.isEmpty() && node != &f)
            inherited = true;
    }
    const QString prog = commentOptions().programFolder;
    if (!prog.isEmpty()) {
        // Asked at every page: the folder's kept entries answer.
        QStringList files;
        if (const TdiskFolderEntries entries = TdiskFolderCache::instance().entries(prog))
            for (const TdiskFolderEntry &e : *entries)
                if (!e.isDir && endsWithText(e.name, u".diff.tpl")
                    && (!e.recheck || diskEntryKind(joinPath(prog, e.name)) == DiskEntry::File))
                    files << e.name;
        std::sort(files.begin(), files.end(),
                  [](const QString &a, const QString &b) { return compareText(a, b) < 0; });
        for (const QString &name : files)
            putInFront(acc, loadTextFile(joinPath(prog, name)));
    }
    if (outInherited)
        *outInherited = inherited;
    if (outFromDisk)
        *outFromDisk = fromDisk;
    return acc;
}
