// The phases from resolution on: existence, permissions, special names,
// template sections, archives, lists, folder pages and files.
#include "config/options.h"
#include "serve/archiveDownload.h"
#include "serve/clientInfo.h"
#include "serve/dispatch.h"
#include "serve/fileDownload.h"
#include "serve/icons.h"
#include "serve/pageReply.h"
#include "tpl/mainTemplate.h"
#include "util/asciiCase.h"
#include "util/format.h"
#include "util/masks.h"
#include "util/regex.h"
#include "vfs/diskEntry.h"
#include "serve/treeAccess.h"
#include "vfs/permissions.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The main template with the partial templates of the folder and its
// ancestors laid over it, nearest last.
TtplPtr folderTemplate(const Tfile &folder)
{
    TtplPtr t = mainTpl();
    QList<const Tfile *> chain;
    for (const Tfile *f = &folder; f; f = f->parent())
        if (!f->diffTpl.trimmed().isEmpty())
            chain.prepend(f);
    for (const Tfile *f : chain)
        t = std::make_shared<const Ttpl>(f->diffTpl, t);
    return t;
}

bool isDownloadManager(const QString &agent)
{
    return agent.contains(QLatin1String("GetRight")) || agent.contains(QLatin1String("FDM"))
        || agent.contains(QLatin1String("FlashGet"));
}

} // namespace

// The node of the path; a special name ("~upload", "favicon.ico") is
// looked up in its folder instead.
Tphase Tdispatch::resolve()
{
    node = findInTree(path);
    if (!node) {
        const qsizetype slash = path.lastIndexOf(u'/');
        special = path.mid(slash + 1);
        path = path.left(slash + 1);
        if (special.startsWith(u'~') || special == QLatin1StringView("favicon.ico"))
            node = findInTree(path);
    }
    return Tphase::Continue;
}

// Nothing there: "not found", or the robots file that keeps spiders out.
Tphase Tdispatch::missingNode()
{
    if (node)
        return Tphase::Continue;
    if (opts().stopSpiders && sameText(fullPath, u"/robots.txt"))
        replyText(cd, QStringLiteral("User-agent: *\r\nDisallow: /"));
    else
        replySpecialPage(cd, QStringLiteral("not found"));
    return Tphase::Done;
}

// A folder asked for without its final slash moves to its URL.
Tphase Tdispatch::folderRedirect()
{
    if (node->isFolder() && !path.endsWith(u'/')) {
        reply.mode = HRM_MOVED;
        reply.url = node->url();
        return Tphase::Done;
    }
    return Tphase::Continue;
}

// A plain folder request serves the folder's default file, unless
// "~nodefault" asks for the folder itself.
Tphase Tdispatch::defaultFile()
{
    if (node->isFolder() && special.isEmpty() && mode.isEmpty())
        if (TfilePtr df = node->getDefaultFile())
            node = df;
    if (opts().enableNoDefault && special == QLatin1StringView("~nodefault"))
        special.clear();
    return Tphase::Continue;
}

// The node's file or folder still exists on disk. One look, reused for the
// download; a temporary node was made from the disk by this very request.
Tphase Tdispatch::existence()
{
    if ((node->isRealFolder() && !node->isRoot()) || node->isFile())
        disk = node->isTemp() ? node->seenOnDisk() : diskEntryInfo(node->resource);
    if ((node->isRealFolder() && !node->isRoot() && disk.kind != DiskEntry::Folder)
        || (node->isFile() && disk.kind != DiskEntry::File)) {
        replySpecialPage(cd, QStringLiteral("not found"));
        return Tphase::Done;
    }
    return Tphase::Continue;
}

// Forbidden downloads and the node's access list. The root's template
// sections stay reachable, so that a login page can be built.
Tphase Tdispatch::permission()
{
    if (node->isFile() && node->isDLforbidden()) {
        replySpecialPage(cd, QStringLiteral("deny"));
        return Tphase::Done;
    }
    if (node->accessFor(&cd))
        return Tphase::Continue;
    const bool exempt = node->isRoot()
        && (mode == QLatin1StringView("section") || (special.startsWith(u'~') && mainTpl()->sectionExist(special.mid(1))));
    if (exempt)
        return Tphase::Continue;
    if (node->isFolder() && cd.credentials.session && !cd.credentials.session->redirect.isEmpty()) {
        reply.mode = HRM_REDIRECT;
        reply.url = std::exchange(cd.credentials.session->redirect, QString());
        return Tphase::Done;
    }
    s.sessions().demandLogin(cd, *node);
    return Tphase::Done;
}

Tphase Tdispatch::favicon()
{
    if (special != QLatin1StringView("favicon.ico"))
        return Tphase::Continue;
    replyIcon(ICON_FAVICON);
    return Tphase::Done;
}

// The upload form of a real folder, for those allowed to upload there.
Tphase Tdispatch::uploadForms()
{
    if (special != QLatin1StringView("~upload") && special != QLatin1StringView("~upload-no-progress") && special != QLatin1StringView("~upload+progress"))
        return Tphase::Continue;
    if (!node->isRealFolder()) {
        replySpecialPage(cd, QStringLiteral("deny"));
    } else if (accountAllowed(FA_UPLOAD, &cd, node.data())) {
        const bool progress = special == QLatin1StringView("~upload+progress");
        replySpecialPage(cd, progress ? QStringLiteral("upload+progress") : QStringLiteral("upload"), node.data());
        if (progress) {
            cd.disconnectAfterReply = true;
            cd.disconnectReason = QStringLiteral("IE6 workaround");
        }
    } else {
        replySpecialPage(cd, QStringLiteral("unauth"), node.data());
        s.events().run(QStringLiteral("unauthorized"), &cd);
    }
    return Tphase::Done;
}

// The page that reports the files of a finished upload.
Tphase Tdispatch::uploadResults()
{
    if (conn.request().method == HM_POST && !cd.upload.results.isEmpty()) {
        replySpecialPage(cd, QStringLiteral("upload-results"), node.data());
        return Tphase::Done;
    }
    return Tphase::Continue;
}

// A section of the folder's template, asked for by "?mode=section&id=" or,
// at the root, by "~name".
Tphase Tdispatch::templateSection()
{
    QString section;
    if (mode == QLatin1StringView("section"))
        section = cd.request.urlVars.value(QStringLiteral("id"), QString());
    if (mode == QLatin1StringView("section") && section.isEmpty())
        section = QStringLiteral("no-id");
    else if (mode != QLatin1StringView("section") && node->isRoot() && !special.isEmpty())
        section = special.mid(1);
    if (section.isEmpty() || !node->isFolder() || startsWithText(section, u"special:"))
        return Tphase::Continue;
    const TtplPtr tpl = folderTemplate(*node);
    const TtplSection *sec = tpl ? tpl->getSection(section) : nullptr;
    if (!sec || sec->nourl)
        return Tphase::Continue;
    // The page script's action handlers change things: a link, an image or
    // a prefetch must never run one.
    if (startsWithText(section, u"ajax.") && conn.request().method != HM_POST) {
        reply.mode = HRM_METHOD_NOT_ALLOWED;
        conn.addHeader("Allow: POST", true);
        return Tphase::Done;
    }
    if (sec->cache) {
        // The tag goes with a "not modified" reply too, as with any cached copy.
        const QString tag = section + formatFloat(sec->ts, 10);
        if (isHeaderSafe(QStringView(tag)))
            conn.addHeader("ETag: " + tag.toUtf8(), true);
        if (ifNoneMatch(conn.getHeader("If-None-Match"_ba), tag)) {
            reply.mode = HRM_NOT_MODIFIED;
            return Tphase::Done;
        }
    }
    // A file-like name gives the content type ("style.css" is CSS).
    if (section.contains(u'.'))
        reply.contentType = contentTypeFor(section, opts().mimeTypes).toUtf8();
    if (reply.contentType == "text/html" || reply.contentType.startsWith("text/"))
        reply.contentType += "; charset=utf-8";
    QString page = s.pages().specialPage(cd, section, node.data(), tpl);
    if (page.isEmpty())
        page = s.pages().section(cd, section, node.data(), tpl);
    replyText(cd, page);
    return Tphase::Done;
}

// A folder that is not browsable shows neither its page, its archive nor
// its file list.
Tphase Tdispatch::browsable()
{
    if (node->isFolder() && !node->flags.has(FA_BROWSABLE)
        && (special.isEmpty() || special == QLatin1StringView("~folder.tar") || special == QLatin1StringView("~folder.zip")
            || special.startsWith(QLatin1String("~files.lst")))) {
        replySpecialPage(cd, QStringLiteral("deny"));
        return Tphase::Done;
    }
    return Tphase::Continue;
}

// Links from other sites, when only some may link here; forbidden
// downloads are refused here once more.
Tphase Tdispatch::referer()
{
    if (refererRefused() || (node->isFile() && node->isDLforbidden())) {
        replySpecialPage(cd, QStringLiteral("deny"));
        return Tphase::Done;
    }
    return Tphase::Continue;
}

// A folder as an archive (tar, or zip when asked), when the folder or one
// above it may be archived.
Tphase Tdispatch::archive()
{
    const bool zip = special == QLatin1StringView("~folder.zip")
        || (mode == QLatin1StringView("archive") && sameText(cd.request.urlVars.value(QStringLiteral("format")), u"zip"));
    if (!node->isFolder() || (special != QLatin1StringView("~folder.tar") && special != QLatin1StringView("~folder.zip") && mode != QLatin1StringView("archive")))
        return Tphase::Continue;
    if (!node->hasRecursive(FA_ARCHIVABLE)) {
        replySpecialPage(cd, QStringLiteral("deny"));
        return Tphase::Done;
    }
    cd.transfer.lastFile = node;
    replyArchive(cd, *node, zip ? AF_ZIP : AF_TAR);
    return Tphase::Done;
}

// The plain list of a folder's file URLs.
Tphase Tdispatch::fileList()
{
    if (!special.startsWith(QLatin1String("~files.lst"))
        && !(node->isFolder() && cd.request.urlVars.value(QStringLiteral("tpl")) == QLatin1StringView("list")))
        return Tphase::Continue;
    if (conn.request().method == HM_HEAD)
        return Tphase::Done;
    cd.transfer.downloadingWhat = DW_FOLDERPAGE;
    cd.disconnectAfterReply = true;
    cd.disconnectReason = QStringLiteral("IE6 workaround");
    replyText(cd, s.pages().fileList(cd, *node).trimmed());
    return Tphase::Done;
}

// A special name that nothing above answered.
Tphase Tdispatch::unknownSpecial()
{
    if (!special.isEmpty()) {
        replySpecialPage(cd, QStringLiteral("not found"));
        return Tphase::Done;
    }
    return Tphase::Continue;
}

// What is served from here on is the node itself.
Tphase Tdispatch::servedNode()
{
    cd.transfer.lastFile = node;
    return Tphase::Continue;
}

bool Tdispatch::refererRefused()
{
    const Toptions &o = opts();
    const QString referer = conn.getHeader("Referer"_ba);
    if (o.allowedReferer.isEmpty() || referer.isEmpty())
        return false;
    const QString refHost = regexGetGroup(referer, QStringLiteral("([a-z]+://)?([^/]+@)?([^/]+)"), 3,
                                          QStringLiteral("i!"));
    QString asked;
    if (matchAddressMask(o.forwardedMask, conn.address()))
        asked = cleanHost(conn.getHeader("X-Forwarded-Host"_ba));
    if (asked.isEmpty())
        asked = cleanHost(conn.getHeader("Host"_ba));
    return !sameText(refHost, asked) && !matchFileMask(o.allowedReferer, refHost);
}

// A folder's page, after the delete action posted to it.
Tphase Tdispatch::folderPage()
{
    if (!node->isFolder())
        return Tphase::Continue;
    if (conn.request().method == HM_HEAD) {
        reply.mode = HRM_REPLY_HEADER;
        reply.body.clear();
        reply.bodyMode = RBM_STRING;
        return Tphase::Done;
    }
    deleteAction();
    if (cd.credentials.session && !cd.credentials.session->redirect.isEmpty()) {
        reply.mode = HRM_REDIRECT;
        reply.url = std::exchange(cd.credentials.session->redirect, QString());
        return Tphase::Done;
    }
    cd.transfer.downloadingWhat = DW_FOLDERPAGE;
    TtplPtr tpl = cd.tpl ? cd.tpl : mainTpl();
    if (opts().getrightTemplate && isDownloadManager(conn.getHeader("User-Agent"_ba)))
        tpl = s.pages().downloadManagerTemplate();
    const QString page = s.pages().folderPage(cd, *node, tpl);
    if (reply.mode != HRM_REDIRECT)
        replyText(cd, page);
    return Tphase::Done;
}

// A link leads to its target.
Tphase Tdispatch::linkTarget()
{
    if (!node->isLink())
        return Tphase::Continue;
    reply.mode = HRM_REDIRECT;
    reply.url = node->resource;
    return Tphase::Done;
}

Tphase Tdispatch::fileDownload()
{
    serveFile(cd, *node, disk);
    return Tphase::Done;
}
