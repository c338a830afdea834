#include "ui/closing.h"

#include "app/program.h"
#include "config/options.h"
#include "util/prompt.h"
#include "vfs/vfs.h"
#include "vfs/vfsStore.h"

TcloseOutcome requestClose(Tprogram &program, bool sessionEnding)
{
    if (program.closing())
        return CO_CLOSED;
    if (opts().confirmExit && !sessionEnding && !program.quitRequested()
        && prompt().question(QStringLiteral("Quit?"), PB_YES | PB_NO, PB_NO) != PB_YES)
        return CO_STAY;
    if (!TvfsStore::instance().leaveVFS(true, sessionEnding))
        return CO_STAY;
    // The operator has decided about the changes: the shutdown must not ask again.
    Tvfs::instance().setModified(false);
    if (program.schedule().running() || !program.startupFinished()) {
        program.requestQuit();
        return CO_DEFERRED;
    }
    program.closeProgram();
    return CO_CLOSED;
}
