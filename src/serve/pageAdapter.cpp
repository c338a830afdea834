#include "serve/pageAdapter.h"
#include "serve/serveMacros.h"
#include "serve/pageReply.h"
#include "script/macroRegistry.h"

#include "config/config.h"
#include "config/paths.h"
#include "config/version.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "pages/folderPage.h"
#include "pages/specialPage.h"
#include "pages/symbols.h"
#include "serve/clientInfo.h"
#include "serve/connData.h"
#include "serve/fileDownload.h"
#include "serve/sameSite.h"
#include "serve/serve.h"
#include "serve/trafficTotals.h"
#include "tpl/mainTemplate.h"
#include "util/asciiCase.h"
#include "util/format.h"
#include "util/masks.h"
#include "vfs/account.h"
#include "vfs/comments.h"
#include "vfs/fileListing.h"
#include "vfs/vfs.h"

TmacroConn *TpageAdapter::macroConn()
{
    return cd;
}

QString TpageAdapter::user() const
{
    return cd->user();
}

QString TpageAdapter::pwd() const
{
    return cd->pwd();
}

QString TpageAdapter::urlVar(const QString &name) const
{
    return cd->urlVar(name);
}

bool TpageAdapter::hasBareUrlVar(const QString &name) const
{
    for (const auto &e : cd->request.urlVars.entries())
        if (!e.hasSeparator && sameText(e.name, name))
            return true;
    return false;
}

bool TpageAdapter::closed() const
{
    return cd->closed();
}

void TpageAdapter::touch()
{
    cd->touch();
}

QString TpageAdapter::address() const
{
    return cd->address;
}

int TpageAdapter::port() const
{
    return cd->conn ? cd->conn->port().toInt() : 0;
}

QString TpageAdapter::host() const
{
    if (!cd->conn)
        return {};
    QString h;
    if (matchAddressMask(opts().forwardedMask, cd->conn->address()))
        h = cleanHost(cd->conn->getHeader("X-Forwarded-Host"));
    if (h.isEmpty())
        h = cleanHost(cd->conn->getHeader("Host"));
    return h;
}

QString TpageAdapter::requestUrl() const
{
    return cd->conn ? QString::fromUtf8(cd->conn->request().url) : QString();
}

QString TpageAdapter::requestHeader(const QString &name) const
{
    return cd->conn ? cd->conn->getHeader(name) : QString();
}

QString TpageAdapter::userNotes() const
{
    return cd->credentials.account ? cd->credentials.account->notes : QString();
}

QString TpageAdapter::formToken() const
{
    return formTokenOf(*cd);
}

qint64 TpageAdapter::streamSize() const
{
    return cd->conn && cd->conn->reply().bodyMode == RBM_STREAM ? cd->conn->bodySize() : 0;
}

bool TpageAdapter::isArchive() const
{
    return cd->transfer.downloadingWhat == DW_ARCHIVE;
}

TtplPtr TpageAdapter::ownTemplate() const
{
    return cd->tpl;
}

QString TpageAdapter::banReason() const
{
    return cd->banReason;
}

QString TpageAdapter::disconnectReason() const
{
    return cd->disconnectReason;
}

QList<TpageUpload> TpageAdapter::takeUploadResults()
{
    QList<TpageUpload> out;
    for (const TuploadResult &r : std::as_const(cd->upload.results))
        out.append({r.fn, r.size, r.reason, qint64(r.speed)});
    cd->upload.results.clear();
    return out;
}

QList<TpageTransfer> TpageAdapter::transfersOfAddress() const
{
    QList<TpageTransfer> out;
    if (!serveExists())
        return out;
    for (ThttpConn *c : std::as_const(serve().srv().conns)) {
        const TconnData *d = TconnData::of(c);
        if (!d || d->address != cd->address)
            continue;
        TpageTransfer t;
        if (c->state() == HCS_POSTING && !d->upload.source.isEmpty()) {
            t.upload = true;
            t.fileName = d->upload.source;
            t.done = c->postBytesReceived();
            t.total = c->post().length;
        } else if (c->state() == HCS_REPLYING_BODY
                   && (d->transfer.downloadingWhat == DW_FILE || d->transfer.downloadingWhat == DW_ARCHIVE)) {
            t.fileName = d->transfer.lastFileName;
            t.done = c->bodyBytesSent();
            t.total = c->bodySize();
        } else {
            continue;
        }
        t.user = d->user();
        t.averageSpeed = d->transfer.averageSpeed;
        // An estimate is shown once six seconds of the transfer were measured.
        if (const auto left = d->transfer.eta.secondsLeft(); left && d->transfer.eta.taken() >= 6)
            t.timeLeft = formatDuration(*left);
        t.address = d->address;
        t.port = c->port().toInt();
        out.append(t);
    }
    return out;
}

bool TpageAdapter::replyIsPlain() const
{
    return !cd->conn || cd->conn->reply().mode == HRM_REPLY;
}

void TpageAdapter::setReplyMode(TpageMode mode)
{
    if (!cd->conn)
        return;
    cd->conn->reply().mode = replyModeOf(mode);
}

void TpageAdapter::addReplyHeader(const QString &name, const QString &value)
{
    const QString line = name + QStringLiteral(": ") + value;
    // Header values built from data never carry line breaks.
    if (!cd->conn || line.contains(u'\r') || line.contains(u'\n') || line.contains(QChar(0)))
        return;
    cd->conn->addHeader(line.toUtf8(), true);
}

void TpageAdapter::setContentType(const QString &type)
{
    if (cd->conn)
        cd->conn->reply().contentType = type.toUtf8();
}

QString TpageAdapter::contentTypeFor(const QString &fileName) const
{
    if (!fileName.contains(u'.'))
        return {};
    QString t = ::contentTypeFor(fileName, opts().mimeTypes);
    if (t == u"application/octet-stream")
        return {};
    if (t.startsWith(QLatin1String("text/")) && !t.contains(u';'))
        t += QStringLiteral("; charset=utf-8");
    return t;
}

void TpageAdapter::setDontLog()
{
    cd->logging.dontLog = true;
}

// ---- hooks ----

void syncPageOptions()
{
    const Toptions &o = opts();
    TlistingOptions &l = listingOptions();
    l.listHiddenFiles = o.listHiddenFiles;
    l.listSystemFiles = o.listSystemFiles;
    l.listProtectedItems = o.listProtectedItems;
    l.recursiveListing = o.recursiveListing;
    l.foldersBefore = o.foldersBefore;
    l.linksBefore = o.linksBefore;
    l.defaultSorting = o.defaultSorting;
    TcommentOptions &c = commentOptions();
    c.loadSingleCommentFiles = o.loadSingleCommentFiles;
    c.supportDescriptIon = o.supportDescriptIon;
    c.oemDescriptIon = o.oemDescriptIon;
    c.enableFingerprints = o.enableFingerprints;
    c.autoFingerprint = o.autoFingerprint;
    c.programFolder = cfgPath();
    TpageOptions &p = pageOptions();
    p.includePwdInPages = o.includePwdInPages;
    p.useSystemIcons = o.useSystemIcons;
    p.httpsUrl = o.httpsUrl;
    p.minDiskSpace = o.minDiskSpace;
    p.address2name = o.address2name;
}

QString TtplPageHooks::specialPage(TconnData &cd, const QString &name, Tfile *folder, const TtplPtr &tpl)
{
    syncPageOptions();
    TpageAdapter a(cd);
    // The dispatcher hands the connection's own template in place of the main one.
    const TtplPtr given = tpl && tpl == cd.tpl ? TtplPtr() : tpl;
    buildSpecialPage(name, &a, given == mainTpl() ? TtplPtr() : given, folder, Tvfs::instance().root());
    return QString::fromUtf8(a.pageBody);
}

TtplPtr TtplPageHooks::downloadManagerTemplate()
{
    return dmBrowserTpl();
}

QString TtplPageHooks::folderPage(TconnData &cd, Tfile &folder, const TtplPtr &tpl)
{
    syncPageOptions();
    TpageAdapter a(cd);
    TtplPtr request = !tpl || tpl == cd.tpl ? mainTpl() : tpl;
    const TpageTemplateKind kind = request == dmBrowserTpl() ? PT_DM : PT_MAIN;
    return buildFolderPage(&folder, &a, request, kind);
}

QString TtplPageHooks::fileList(TconnData &cd, Tfile &folder)
{
    syncPageOptions();
    TpageAdapter a(cd);
    return buildFolderPage(&folder, &a, fileListTplFor(cfgPath()), PT_FILE_LIST);
}

void installPageHooks()
{
    installBuiltinPageTemplates();
    // Event scripts use the item symbols and the file and tree macros
    // before any page is built.
    registerPageSymbols();
    registerRequestMacros(TmacroRegistry::instance());
    registerProgramMacros(TmacroRegistry::instance());
    serve().setPageHooks(std::make_unique<TtplPageHooks>());
    setPageContextResolver([](TmacroConn *m) -> TpageContext * {
        auto *d = dynamic_cast<TconnData *>(m);
        if (!d)
            return nullptr;
        static TpageAdapter shared(*d);
        shared.rebind(*d);
        return &shared;
    });
    TserverInfo &s = serverInfo();
    s.version = zofVersion();
    s.build = zofBuild();
    s.connections = [] {
        QList<TserverInfo::Tconn> out;
        if (!serveExists())
            return out;
        for (ThttpConn *c : std::as_const(serve().srv().conns))
            if (const TconnData *d = TconnData::of(c))
                out.append({d->address, d->user(),
                            d->transfer.countAsDownload
                                && (c->state() == HCS_REPLYING || c->state() == HCS_REPLYING_HEADER
                                    || c->state() == HCS_REPLYING_BODY)});
        return out;
    };
    s.listening = [] { return serveExists() && serve().isListening(); };
    s.uptimeSeconds = [] { return serveExists() ? (now() - serve().startTime()) * 86400.0 : 0.0; };
    s.speedOut = [] { return serveExists() ? serve().srv().speedOut : 0.0; };
    s.speedIn = [] { return serveExists() ? serve().srv().speedIn : 0.0; };
    s.totalOut = [] { return totalOut(); };
    s.totalIn = [] { return totalIn(); };
    s.totalDownloads = [] { return opts().downloadsTotal; };
    s.totalHits = [] { return opts().hitsTotal; };
    s.totalUploads = [] { return opts().uploadTotal; };
    s.addressesEver = [] { return qint64(opts().ipsEverConnected.size()); };
    s.port = [] { return serveExists() ? serve().listeningPort() : QString(); };
}
