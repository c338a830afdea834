#pragma once

// The side files of a folder ("*.comment", "*.md5") read once per page.
// Without a scope, every item of a page would try to open its own ".comment"
// and stat its own ".md5", nearly always in vain. While a TsideFileScope is
// alive, the names of a folder's side files are read (names only, no stat)
// the first time that folder is asked about, and lookups answer from that
// set. A new scope reads again, so a change between two pages is seen.

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

class TsideFileScope {
public:
    TsideFileScope();
    ~TsideFileScope();
    TsideFileScope(const TsideFileScope &) = delete;
    TsideFileScope &operator=(const TsideFileScope &) = delete;

    // The innermost live scope, or null.
    static TsideFileScope *current();

    // The side-file names of `folder`, sorted; empty when it cannot be read
    // (`readable` tells).
    const QStringList &namesIn(const QString &folder, bool *readable = nullptr);
    // Whether the folder of `path` held its side file `path` + `suffix` when
    // it was read (an unreadable folder answers true: the caller then looks
    // for itself). The suffix holds no "/".
    bool mayHaveAt(const QString &path, QStringView suffix = {});
    // Side files were written or removed: every live scope reads again.
    static void forgetAll();

private:
    struct Tnames {
        QStringList sorted;
        bool readable = false;
    };
    const Tnames &entry(const QString &folder);
    // Whether `path` names an entry of the folder of the path asked for last.
    bool inLastFolder(QStringView path) const;

    QHash<QString, Tnames> folders;
    QString lastFolder;           // as asked, before the trailing "/" goes
    const Tnames *last = nullptr; // its entry in `folders`
    QString lastPath;             // the path asked for last, in that folder
    qsizetype lastCut = -1;       // where its last "/" is
    TsideFileScope *outer = nullptr;
};

// Whether a side file (".comment", ".md5") may sit at `path` + `suffix`
// (no "/" in the suffix): always true outside a scope.
bool sideFileMayExist(const QString &path, QStringView suffix = {});

// Names of `folder` ending in ".comment" or ".md5" (letters in any case),
// sorted, without a stat per entry; `ok` tells whether the folder was read.
QStringList readSideFileNames(const QString &folder, bool *ok = nullptr);
