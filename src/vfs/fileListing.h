#pragma once

// The items one request may see in a folder: tree children and disk entries,
// filtered by the folder's and the request's masks, the search words, the
// visibility and permission rules, paged, optionally recursive, then sorted.

#include "vfs/file.h"

#include <QList>
#include <QSet>
#include <QString>

class TconnView;

// Implemented by connections that can tell a bare query word ("?recursive")
// from a name=value pair ("?recursive=1").
class TqueryFlags {
public:
    virtual ~TqueryFlags() = default;
    virtual bool hasBareUrlVar(const QString &name) const = 0;
};

// Options read by listings; the program copies them from its configuration.
struct TlistingOptions {
    bool listHiddenFiles = false;    // list-hidden-files
    bool listSystemFiles = false;    // list-system-files (no such attribute here)
    bool listProtectedItems = false; // list-protected-items
    bool recursiveListing = true;    // recursive-listing
    bool foldersBefore = true;       // folders-before
    bool linksBefore = true;         // links-before
    QString defaultSorting = QStringLiteral("name"); // default-sorting
};
TlistingOptions &listingOptions();

// Lets other connections be served during a long walk. Runs the event loop at
// most every kEventLoopIntervalMs, so a fast listing is not slowed down: a page
// of a few thousand items is built in one go, and a second listing asked by the
// same address meanwhile is not refused as "server busy" (one at a time each).
// Returns whether the loop ran: only then can a connection have closed or
// been found idle meanwhile, so a walk looks at its connection then.
inline constexpr int kEventLoopIntervalMs = 20;
bool letEventLoopRun();
// Starts the interval of letEventLoopRun afresh: work that begins now gets
// its first few milliseconds to itself, so a short page is built in one go
// instead of first answering everything that queued up before it.
void startEventLoopInterval();

class TfileListing {
public:
    TfileListing() = default;
    TfileListing(const TfileListing &) = delete;
    TfileListing &operator=(const TfileListing &) = delete;

    // The collected items; temporary ones are released with the listing.
    QList<TfilePtr> dir;
    // Ignore the request's filter and search variables (archive of a selection).
    bool ignoreConnFilter = false;
    // The connection is producing an archive: protected and forbidden items are left out.
    bool archiveMode = false;

    // Appends the items of `folder` visible to `cd`. A negative `limit` or
    // `toSkip` is read from the request (limit, offset, page). Returns the
    // number of items still to skip.
    qint64 fromFolder(Tfile *folder, TconnView *cd, bool recursive = false, qint64 limit = -1,
                      qint64 toSkip = -1, bool doClear = true);
    // Orders `dir` by the request's sort key, else `def`, else the option.
    // Stops early, partly sorted, when the connection closes.
    void sort(TconnView *cd, const QString &def);

    // The option "recursive-listing" is on and the request has a bare
    // "recursive" or a non-empty "search".
    static bool shouldRecur(const TconnView *cd);

    // Three-way comparison used by sort (exposed for tests): `key` is the
    // field letter ("n", "e", "s", "t", "d", "c" or anything else for none).
    static int compareItems(const Tfile &a, const Tfile &b, QChar key, bool rev, bool foldersBefore,
                            bool linksBefore);

private:
    struct Twalk;
    qint64 listFolder(Twalk &w, Tfile *folder, qint64 toSkip);
    bool canBeListed(const Twalk &w, const Tfile &f) const;
    bool addToListing(Twalk &w, const TfilePtr &item, qint64 &toSkip, bool collect);
    void collectDisk(Twalk &w, Tfile *folder, qint64 &toSkip);
    void collectTree(Twalk &w, Tfile *folder, qint64 &toSkip);
    bool limitFull(const Twalk &w) const;

    QSet<QString> onPath; // disk identities of the folders being walked (loop guard)
};

// Whether `cd` may open the folder's page: the folder is accessible to it,
// browsable, and not inside a hidden tree. Listings descend (recursive
// listings, searches, archives) only into folders that pass, so they show
// exactly what opening each folder in turn would show.
bool folderOpensFor(const Tfile &folder, const TconnView *cd);

// Whether the folder shows nothing to this connection (filters, visibility and
// hide-empty apply as for its page; paging does not).
bool isEmptyFolder(const Tfile &f, TconnView *cd);
