#include "app/laterSteps.h"

#include "vfs/treeAdd.h"
#include "vfs/vfs.h"

// Empty on purpose (but the tree's): see the header for the service that
// fills each step.

void highlightLogSearch() {}
void releaseOldIcons() {}
void keepWindowOnScreen() {}
void refreshConnectionsView() {}
void warnOfManyItems()
{
    TtreeAdder(Tvfs::instance()).warnOfManyItems();
}
void rememberWindowBounds() {}
void updateCopyUrlCaption() {}
void runScriptWindowWhenChanged() {}
void paintGraph() {}
