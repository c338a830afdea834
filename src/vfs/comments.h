#pragma once

// Comments kept next to published items: the per-folder "zof.comments.txt",
// the per-item "*.comment" files and the "descript.ion" files of old command
// shells. None of these files is ever listed as an item.

#include "util/nameValueList.h"

#include <QString>

class Tfile;

inline const QString COMMENTS_FILE = QStringLiteral("zof.comments.txt");
inline const QString DESCRIPT_ION = QStringLiteral("descript.ion");
inline const QString COMMENT_FILE_EXT = QStringLiteral(".comment");

// The options these files depend on. The program copies them from its
// configuration; tests set them directly.
struct TcommentOptions {
    bool loadSingleCommentFiles = true; // load-single-comment-files
    bool supportDescriptIon = true;     // support-descript.ion
    bool oemDescriptIon = false;        // oem-descript.ion
    bool enableFingerprints = true;     // enable-fingerprints
    qint64 autoFingerprint = 0;         // auto-fingerprint, KiB
    // Where "*.diff.tpl" files for every folder and named partial templates
    // are looked for (the program's configuration folder).
    QString programFolder;
};
TcommentOptions &commentOptions();

bool isCommentFile(const QString &name);
bool isFingerprintFile(const QString &name);

// The entries of `folder`/zof.comments.txt as written (still escaped).
TnameValueList loadCommentsFile(const QString &folder);
// Appends name=description for each line of the folder's "descript.ion"
// (`path` is the file itself or its folder); nothing with the option off.
void loadDescriptions(const QString &path, TnameValueList &list);

// The comment of a node: its own field, its ".comment" file, then (unless
// skipParent) its folder's comment files. What comes from the files on disk
// is made inert (shown, never run); the field is the operator's own text, or
// for a disk item the inert comment its listing found.
QString getDynamicComment(const Tfile &f, bool skipParent);
// Stores a comment: a tree node keeps it in its field; a disk item gets it in
// its ".comment" file or in its folder's comment files. Refuses (false) names
// and comments that would break the line structure of those files.
bool setDynamicComment(Tfile &f, const QString &cmt);

// Forgets the comments of deleted items: the lines naming them in their
// folders' "zof.comments.txt" and (with the option on) "descript.ion". A
// file left without lines is removed; mask lines stay. Errors are ignored.
void forgetComments(const QStringList &deletedPaths);

// Disk path helpers (Linux paths, "/" separated).
QString folderOfPath(const QString &path);
QString nameOfPath(const QString &path);

// Partial templates: the combined text of every "zof.diff.tpl" and node
// `diffTpl` from the root down to `f` (nearest last), preceded by the
// "*.diff.tpl" files of the program's folder. `outInherited` tells whether a
// node above contributed a `diffTpl`; `outFromDisk` whether a disk file did.
QString getRecursiveDiffTplAsStr(const Tfile &f, bool *outInherited = nullptr, bool *outFromDisk = nullptr);
inline const QString DIFF_TPL_FILE = QStringLiteral("zof.diff.tpl");
