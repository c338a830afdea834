#include "serve/protectiveHeaders.h"

#include "http/httpReply.h"
#include "vfs/file.h"

void addNoSniff(ThttpReply &reply)
{
    reply.addOwnHeader(noSniffHeader);
}

void markOwnPage(ThttpReply &reply)
{
    addNoSniff(reply);
    reply.setHeaderIfNone("Content-Security-Policy: frame-ancestors 'self'");
    reply.setHeaderIfNone("X-Frame-Options: SAMEORIGIN");
}

bool inUploadFolder(const Tfile &file)
{
    for (const Tfile *f = file.isFolder() ? &file : file.parent(); f; f = f->parent())
        if (f->isRealFolder() && !f->accounts[FA_UPLOAD].isEmpty())
            return true;
    return false;
}

void sandboxFile(ThttpReply &reply, const Tfile &file, bool everyFile)
{
    if (everyFile || inUploadFolder(file))
        reply.addHeader("Content-Security-Policy: sandbox", false);
}
