#include "config/treeOptions.h"

#include "config/options.h"
#include "vfs/vfs.h"

void applyOptionsToTree(const Toptions &o, Tvfs &tree)
{
    // The URL address and the listening port belong to the server side: kept.
    TvfsSettings s = tree.settings();
    s.foldersBefore = o.foldersBefore;
    s.filesStayFlaggedForMinutes = o.filesStayFlaggedForMinutes;
    s.useCommentAsRealm = o.useCommentAsRealm;
    s.encodeNonAscii = o.encodeNonAscii;
    s.encodeSpaces = o.encodeSpaces;
    s.dontIncludePortInUrl = o.dontIncludePortInUrl;
    s.httpsUrl = o.httpsUrl;
    s.listHiddenFiles = o.listHiddenFiles;
    s.listSystemFiles = o.listSystemFiles;
    s.iconMasks = o.iconMasks;
    s.addFolderDefault = o.addFolderDefault;
    s.addToFolder = o.addToFolder;
    s.autoComment = o.autoComment;
    s.copyUrlOnAddition = o.copyUrlOnAddition;
    s.deleteDontAsk = o.deleteDontAsk;
    s.enableFingerprints = o.enableFingerprints;
    s.autoFingerprint = o.autoFingerprint;
    s.manyItemsWarning = o.manyItemsWarning;
    tree.setSettings(s);
}
