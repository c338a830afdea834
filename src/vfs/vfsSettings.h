#pragma once

// Option values the tree reads. The configuration fills them in; the tree
// never reads the configuration itself.

#include <QList>
#include <QString>

#include <functional>

class Tfile;

// One entry of icon-masks: files whose name matches `mask` show image `index`.
struct TiconMask {
    QString mask;
    int index = 0;
};

struct TvfsSettings {
    bool foldersBefore = true;               // folders-before
    qint64 filesStayFlaggedForMinutes = 0;   // files-stay-flagged-for-minutes
    bool useCommentAsRealm = true;           // use-comment-as-realm
    bool encodeNonAscii = false;             // encode-non-ascii
    bool encodeSpaces = true;                // encode-spaces
    bool dontIncludePortInUrl = false;       // dont-include-port-in-url
    bool httpsUrl = false;                   // https-url
    bool listHiddenFiles = false;            // list-hidden-files
    bool listSystemFiles = false;            // list-system-files
    QList<TiconMask> iconMasks;              // icon-masks
    // Adding and editing items.
    QString addFolderDefault;                // add-folder-default: "real", "virtual", "" (ask)
    QString addToFolder;                     // add-to-folder: where handed-over paths go
    bool autoComment = false;                // auto-comment
    bool copyUrlOnAddition = true;           // copy-url-on-addition
    bool deleteDontAsk = false;              // delete-dont-ask
    bool enableFingerprints = true;          // enable-fingerprints
    qint64 autoFingerprint = 0;              // auto-fingerprint (KiB; 0: off)
    bool manyItemsWarning = true;            // many-items-warning
    QString defaultIP;   // the address chosen for building URLs
    QString serverPort;  // the port the server listens on; empty while it does not
};

// The comment to show for a node (comment files next to it, etc.). Without
// one, the node's own `comment` field is used.
using TdynamicCommentFn = std::function<QString(const Tfile &)>;

// The platform's icon for a node's resource, as an image index (-1: none).
using TsystemIconFn = std::function<int(const Tfile &)>;
