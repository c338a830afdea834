#pragma once

// What pages need of the request and the connection they are built for. The
// request-handling module implements it over its per-connection record;
// templates and macros never see sockets or server types.

#include "tpl/tpl.h"
#include "vfs/connView.h"
#include "vfs/fileListing.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class TmacroConn;

// The reply modes a page sets.
enum TpageMode {
    PAGE_REPLY,        // 200
    PAGE_DENY,         // 403
    PAGE_NOT_FOUND,    // 404
    PAGE_UNAUTHORIZED, // 401
    PAGE_OVERLOAD,     // 429
};

// One transfer of the requesting client, for the progress page.
struct TpageTransfer
{
    bool upload = false;
    QString user;
    QString fileName;
    qint64 done = 0;
    qint64 total = 0;
    QString timeLeft = QStringLiteral("-"); // already formatted, or "-"
    double averageSpeed = 0;                // bytes per second
    QString address;
    int port = 0;
};

// One file of the last upload, for the upload-results page.
struct TpageUpload
{
    QString fn;
    qint64 size = 0;
    QString reason;   // empty: stored
    qint64 speed = 0; // bytes per second
};

class TpageContext : public TconnView, public TqueryFlags
{
public:
    // The record the macro engine works with for this connection.
    virtual TmacroConn *macroConn() = 0;

    // The client and what it asked.
    virtual QString address() const = 0;
    virtual int port() const = 0;
    // The host the client asked for (Host, or X-Forwarded-Host from a trusted
    // proxy), reduced to letters, digits, "-", ".", ":" and "_".
    virtual QString host() const = 0;
    virtual QString requestUrl() const = 0;
    virtual QString requestHeader(const QString &name) const = 0;
    virtual QString userNotes() const = 0;
    // The value the site's own forms carry in "csrf-token" (empty without a session).
    virtual QString formToken() const = 0;
    virtual qint64 streamSize() const = 0;
    virtual bool isArchive() const = 0;
    // The connection's own template ("load tpl"), or none.
    virtual TtplPtr ownTemplate() const = 0;
    virtual QString banReason() const = 0;
    virtual QString disconnectReason() const = 0;
    // The results of the last upload; they are consumed.
    virtual QList<TpageUpload> takeUploadResults() = 0;
    // The transfers of every connection from the same address.
    virtual QList<TpageTransfer> transfersOfAddress() const = 0;

    // The reply being prepared.
    virtual bool replyIsPlain() const = 0; // the mode is still the plain 200 reply
    virtual void setReplyMode(TpageMode mode) = 0;
    virtual void addReplyHeader(const QString &name, const QString &value) = 0;
    virtual void setContentType(const QString &type) = 0;
    // The content type of a file of that name (options, then the built-in table); empty when
    // unknown.
    virtual QString contentTypeFor(const QString &fileName) const = 0;
    // Sets the body of a page; the implementation applies page compression.
    virtual void setPageBody(const QByteArray &body) = 0;
    virtual void setDontLog() = 0;
};

// The page context of a macro run's connection: the one of a page being built
// for it, else what the installed resolver gives (null without one). The
// pointer is valid until the next call.
TpageContext *pageContextOf(TmacroConn *cd);
void setPageContextResolver(std::function<TpageContext *(TmacroConn *)> resolver);

// Marks `ctx` as the context of its connection while a page is built.
class TpageContextScope
{
public:
    explicit TpageContextScope(TpageContext *ctx);
    ~TpageContextScope();
    TpageContextScope(const TpageContextScope &) = delete;
    TpageContextScope &operator=(const TpageContextScope &) = delete;

private:
    TpageContext *ctx;
};

// Options pages read; the program copies them from its configuration.
struct TpageOptions
{
    bool includePwdInPages = false; // include-pwd-in-pages
    bool useSystemIcons = true;     // use-system-icons
    bool httpsUrl = false;          // https-url
    qint64 minDiskSpace = 0;        // min-disk-space, MB
    QStringList address2name;       // flat pairs: name, address mask
};
TpageOptions &pageOptions();
