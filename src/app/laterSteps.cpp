#include "app/laterSteps.h"

// Empty on purpose: see the header for the service that fills each step.

void highlightLogSearch() {}
void searchExternalAddressAgain() {}
void checkForUpdateDaily() {}
void releaseOldIcons() {}
void keepWindowOnScreen() {}
void updateDynamicDns() {}
void refreshConnectionsView() {}
void warnOfManyItems() {}
void rememberWindowBounds() {}
void runPendingUpdate() {}
void updateCopyUrlCaption() {}
void runScriptWindowWhenChanged() {}
void paintGraph() {}
