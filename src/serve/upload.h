#pragma once
// Uploads: the POST file parts written to the folder they were sent to.

#include "serve/fileName.h"
#include "serve/serveHooks.h"

#include <QHash>
#include <QString>

#include <functional>
#include <sys/types.h>

class Tfile;

// The default mask of names an upload may not take.
inline const QString DEFAULT_UPLOAD_FILTER =
    QStringLiteral("\\zof.*;*.htm*;descript.ion;*.comment;*.md5;*.corrupted;*.lnk");

// The name checks of an upload into `folder`: valid, not "zof.diff.tpl"
// nor ".lnk", and accepted by the folder's upload mask (or the default).
bool uploadNameAllowed(const QString &name, const Tfile *folder);
// The mask that applies to uploads into `folder`.
QString uploadMaskFor(const Tfile *folder);
// The destination a cleaned "upload name" answer names: without "\" a
// name in `folder`, with "\" a path ("\" separating folders), absolute
// when it starts with one, else below `folder`. Empty for drive letters,
// ':', and "..", empty or otherwise invalid components. Whether the path
// stays inside the folder is checked where the file is made.
QString scriptUploadPath(const QString &cleaned, const QString &folder);
// "name (1).ext", "name (2).ext"... the first that `taken` says is free.
QString numberedName(const QString &name, const std::function<bool(const QString &)> &taken);
// Where a partial upload goes: the pattern with "%name%" replaced (in the
// same folder), else the pattern appended to the path as a suffix.
QString partialUploadPath(const QString &path, const QString &pattern);
// The reason of a failed write: a full disk or quota as "Minimum disk
// space reached.", else the system's text for `err` (`otherwise` when 0).
QString writeFailure(int err, const QString &otherwise);
// An entry exists at the path (a dangling symbolic link counts).
bool pathTaken(const QString &path);

class TuploadManager : public TuploadHooks
{
public:
    void postEvent(TserverEvent e, TconnData &cd) override;
    void abandon(TconnData &cd) override;

private:
    // The file an upload created, known by its identity: a failure or an
    // interruption touches that file only, never one that took its name.
    // A file that replaces an existing one is written beside it (`temp`)
    // and takes its name only once complete, so a failed upload leaves the
    // old file as it was.
    struct TcreatedFile
    {
        dev_t dev = 0;
        ino_t ino = 0;
        QString temp;
    };

    void start(TconnData &cd);
    void data(TconnData &cd);
    void end(TconnData &cd);
    void chooseDestination(TconnData &cd, const Tfile &folder);
    QString runUploadEvent(const QString &name, TconnData &cd);
    // Creates the destination; false when it cannot be created.
    bool create(TconnData &cd);
    // Closes the open file, then deletes or renames it as the options say.
    void partial(TconnData &cd);
    // Fails the current part, deleting the file this part created.
    void fail(TconnData &cd, const QString &reason);
    // Where the file this upload created lies now (empty when none).
    QString createdPath(const TconnData &cd) const;
    // Deletes the file this upload created, when it is still there.
    void removeCreated(TconnData &cd);
    // Gives a file written beside its destination the destination's name
    // (or `to`); false when that failed.
    bool moveCreated(TconnData &cd, const QString &to);

    QHash<const TconnData *, TcreatedFile> created;
};
