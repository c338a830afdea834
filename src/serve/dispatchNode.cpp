// The dispatch from resolution on: existence, permissions, special names,
// template sections, archives, lists, folder pages and files.
#include "config/options.h"
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

void Tdispatch::resolveAndAnswer()
{
    const Toptions &o = opts();
    // 24. Resolution; a special name is looked up in its folder.
    node = findInTree(path);
    if (!node) {
        const qsizetype slash = path.lastIndexOf(u'/');
        special = path.mid(slash + 1);
        path = path.left(slash + 1);
        if (special.startsWith(u'~') || special == u"favicon.ico")
            node = findInTree(path);
    }
    // 25.
    if (!node) {
        if (o.stopSpiders && sameText(fullPath, u"/robots.txt"))
            replyText(cd, QStringLiteral("User-agent: *\r\nDisallow: /"));
        else
            replySpecialPage(cd, QStringLiteral("not found"));
        return;
    }
    // 26.
    if (node->isFolder() && !path.endsWith(u'/')) {
        reply.mode = HRM_MOVED;
        reply.url = node->url();
        return;
    }
    // 27. Default file.
    if (node->isFolder() && special.isEmpty() && mode.isEmpty())
        if (TfilePtr df = node->getDefaultFile())
            node = df;
    if (o.enableNoDefault && special == u"~nodefault")
        special.clear();
    // 28. Existence on disk: one look, reused for the download below. A
    // temporary node was made from the disk by this very request.
    DiskEntryInfo disk;
    if ((node->isRealFolder() && !node->isRoot()) || node->isFile())
        disk = node->isTemp() ? node->seenOnDisk() : diskEntryInfo(node->resource);
    if ((node->isRealFolder() && !node->isRoot() && disk.kind != DiskEntry::Folder)
        || (node->isFile() && disk.kind != DiskEntry::File)) {
        replySpecialPage(cd, QStringLiteral("not found"));
        return;
    }
    // 29. Permissions.
    if (node->isFile() && node->isDLforbidden()) {
        replySpecialPage(cd, QStringLiteral("deny"));
        return;
    }
    if (!node->accessFor(&cd)) {
        const bool exempt = node->isRoot()
            && (mode == u"section" || (special.startsWith(u'~') && mainTpl()->sectionExist(special.mid(1))));
        if (!exempt) {
            if (node->isFolder() && cd.session && !cd.session->redirect.isEmpty()) {
                reply.mode = HRM_REDIRECT;
                reply.url = std::exchange(cd.session->redirect, QString());
                return;
            }
            s.sessions().demandLogin(cd, *node);
            return;
        }
    }
    // 30.
    if (special == u"favicon.ico") {
        replyIcon(ICON_FAVICON);
        return;
    }
    // 31. Upload forms.
    if (special == u"~upload" || special == u"~upload-no-progress" || special == u"~upload+progress") {
        if (!node->isRealFolder()) {
            replySpecialPage(cd, QStringLiteral("deny"));
        } else if (accountAllowed(FA_UPLOAD, &cd, node.data())) {
            const bool progress = special == u"~upload+progress";
            replySpecialPage(cd, progress ? QStringLiteral("upload+progress") : QStringLiteral("upload"), node.data());
            if (progress) {
                cd.disconnectAfterReply = true;
                cd.disconnectReason = QStringLiteral("IE6 workaround");
            }
        } else {
            replySpecialPage(cd, QStringLiteral("unauth"), node.data());
            s.events().run(QStringLiteral("unauthorized"), &cd);
        }
        return;
    }
    // 32.
    if (conn.request.method == HM_POST && !cd.uploadResults.isEmpty()) {
        replySpecialPage(cd, QStringLiteral("upload-results"), node.data());
        return;
    }
    // 33.
    if (sectionRequest())
        return;
    // 34.
    if (node->isFolder() && !node->flags.has(FA_BROWSABLE)
        && (special.isEmpty() || special == u"~folder.tar" || special.startsWith(QLatin1String("~files.lst")))) {
        replySpecialPage(cd, QStringLiteral("deny"));
        return;
    }
    // 35.
    if (refererRefused() || (node->isFile() && node->isDLforbidden())) {
        replySpecialPage(cd, QStringLiteral("deny"));
        return;
    }
    // 36. Archives.
    if (node->isFolder() && (special == u"~folder.tar" || mode == u"archive")) {
        if (!node->hasRecursive(FA_ARCHIVABLE)) {
            replySpecialPage(cd, QStringLiteral("deny"));
            return;
        }
        cd.FlastFile = node;
        s.pages().archive(cd, *node);
        return;
    }
    // 37. Lists.
    if (special.startsWith(QLatin1String("~files.lst"))
        || (node->isFolder() && cd.urlvars.value(QStringLiteral("tpl")) == u"list")) {
        if (conn.request.method == HM_HEAD)
            return;
        cd.downloadingWhat = DW_FOLDERPAGE;
        cd.disconnectAfterReply = true;
        cd.disconnectReason = QStringLiteral("IE6 workaround");
        replyText(cd, s.pages().fileList(cd, *node).trimmed());
        return;
    }
    // 38.
    if (!special.isEmpty()) {
        replySpecialPage(cd, QStringLiteral("not found"));
        return;
    }
    // 39.
    cd.FlastFile = node;
    // 40.
    if (node->isFolder()) {
        folderPage();
        return;
    }
    // A link leads to its target.
    if (node->isLink()) {
        reply.mode = HRM_REDIRECT;
        reply.url = node->resource;
        return;
    }
    // 41.
    serveFile(cd, *node, disk);
}

bool Tdispatch::sectionRequest()
{
    QString section;
    if (mode == u"section")
        section = cd.urlvars.value(QStringLiteral("id"), QString());
    if (mode == u"section" && section.isEmpty())
        section = QStringLiteral("no-id");
    else if (mode != u"section" && node->isRoot() && !special.isEmpty())
        section = special.mid(1);
    if (section.isEmpty() || !node->isFolder() || startsWithText(section, u"special:"))
        return false;
    const TtplPtr tpl = folderTemplate(*node);
    const TtplSection *sec = tpl ? tpl->getSection(section) : nullptr;
    if (!sec || sec->nourl)
        return false;
    // The page script's action handlers change things: a link, an image or
    // a prefetch must never run one.
    if (startsWithText(section, u"ajax.") && conn.request.method != HM_POST) {
        reply.mode = HRM_METHOD_NOT_ALLOWED;
        conn.addHeader("Allow: POST", true);
        return true;
    }
    if (sec->cache) {
        // The tag goes with a "not modified" reply too, as with any cached copy.
        const QString tag = section + formatFloat(sec->ts, 10);
        if (isHeaderSafe(QStringView(tag)))
            conn.addHeader("ETag: " + tag.toUtf8(), true);
        if (ifNoneMatch(conn.getHeader(QByteArrayView("If-None-Match")), tag)) {
            reply.mode = HRM_NOT_MODIFIED;
            return true;
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
    return true;
}

bool Tdispatch::refererRefused()
{
    const Toptions &o = opts();
    const QString referer = conn.getHeader(QByteArrayView("Referer"));
    if (o.allowedReferer.isEmpty() || referer.isEmpty())
        return false;
    const QString refHost = regexGetGroup(referer, QStringLiteral("([a-z]+://)?([^/]+@)?([^/]+)"), 3,
                                          QStringLiteral("i!"));
    QString asked;
    if (matchAddressMask(o.forwardedMask, conn.P_address))
        asked = cleanHost(conn.getHeader(QByteArrayView("X-Forwarded-Host")));
    if (asked.isEmpty())
        asked = cleanHost(conn.getHeader(QByteArrayView("Host")));
    return !sameText(refHost, asked) && !matchFileMask(o.allowedReferer, refHost);
}

void Tdispatch::folderPage()
{
    if (conn.request.method == HM_HEAD) {
        reply.mode = HRM_REPLY_HEADER;
        reply.body.clear();
        reply.bodyMode = RBM_STRING;
        return;
    }
    deleteAction();
    if (cd.session && !cd.session->redirect.isEmpty()) {
        reply.mode = HRM_REDIRECT;
        reply.url = std::exchange(cd.session->redirect, QString());
        return;
    }
    cd.downloadingWhat = DW_FOLDERPAGE;
    TtplPtr tpl = cd.tpl ? cd.tpl : mainTpl();
    if (opts().getrightTemplate && isDownloadManager(conn.getHeader(QByteArrayView("User-Agent"))))
        tpl = s.pages().downloadManagerTemplate();
    const QString page = s.pages().folderPage(cd, *node, tpl);
    if (reply.mode != HRM_REDIRECT)
        replyText(cd, page);
}
