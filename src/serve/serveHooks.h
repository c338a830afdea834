#pragma once
// The seams where later work plugs into request handling. Each concern is a
// small class whose default members give the plain answer the program uses
// until the module that owns the concern installs its own (Tserve::set...).

#include "http/serverEvent.h"
#include "log/addressHistory.h"
#include "tpl/tpl.h"
#include "util/nameValueList.h"

#include <QString>

class TconnData;
class Tfile;

// Sessions, credentials and the login form.
class TsessionHooks
{
public:
    virtual ~TsessionHooks() = default;
    // Restores the session and the credentials of the request into the
    // record; false when the request is refused (the reply is set).
    virtual bool restore(TconnData &cd);
    // "mode=login": "ok", "bad password" or "username not found".
    virtual QString checkLoginForm(TconnData &cd);
    // "mode=auth": empty when the signed link is good, else the failure word.
    virtual QString checkSignedLink(TconnData &cd);
    // An account with this password, or a user and password given on a node.
    virtual bool credentialsMatch(const QString &user, const QString &pwd);
    // The reply for a client without access to `node`.
    virtual void demandLogin(TconnData &cd, Tfile &node);
};

// Bans, connection limits and download limits.
class TadmissionHooks
{
public:
    virtual ~TadmissionHooks() = default;
    // Sets preReply and banReason (and the reply mode for "no reply" bans).
    virtual void decidePreReply(TconnData &cd);
    // A counted download may start; false when refused (the reply is set).
    virtual bool allowDownload(TconnData &cd);
};

// Pages built from templates. An empty answer means "not built": the
// dispatcher then falls back to the core's default body for the mode.
class TpageHooks
{
public:
    virtual ~TpageHooks() = default;
    // A special page ("deny", "not found", "login", "upload"...) or a
    // template section, for `folder` (may be null).
    virtual QString specialPage(TconnData &cd, const QString &name, Tfile *folder, const TtplPtr &tpl);
    // A template section served by URL, expanded for `folder`.
    virtual QString section(TconnData &cd, const QString &name, Tfile *folder, const TtplPtr &tpl);
    // The template for download managers.
    virtual TtplPtr downloadManagerTemplate();
    // The folder page.
    virtual QString folderPage(TconnData &cd, Tfile &folder, const TtplPtr &tpl);
    // The plain list of URLs ("~files.lst", "tpl=list").
    virtual QString fileList(TconnData &cd, Tfile &folder);
};

// Uploads: the POST file events and the results page.
class TuploadHooks
{
public:
    virtual ~TuploadHooks() = default;
    virtual void postEvent(TserverEvent e, TconnData &cd);
    // A partial upload of a connection that went away.
    virtual void abandon(TconnData &cd);
};

// Event scripts named after events ("connected", "download completed"...).
class TeventHooks
{
public:
    virtual ~TeventHooks() = default;
    // Runs the section `name` for the record (may be null) with extra
    // symbols; the expanded text. The item concerned is the one the request
    // handles, else the last one requested on the connection.
    QString run(const QString &name, TconnData *cd, const TnameValueList &symbols = noSymbols());
    // The same about `item` (an upload's destination, say); its folder is
    // the item's parent.
    virtual QString runFor(const QString &name, TconnData *cd, Tfile *item,
                           const TnameValueList &symbols = noSymbols());
    // The shared empty list: most runs have no extra symbols, and a fresh
    // list costs an allocation on every event of every request.
    static const TnameValueList &noSymbols();
    virtual bool has(const QString &name);
};

// Counters, totals and the addresses ever connected.
class TcounterHooks
{
public:
    virtual ~TcounterHooks() = default;
    // "hits-total", "downloads-total" or "upload-total".
    virtual void increment(const QString &counter);
    // A request neither banned nor refused for overload came from `address`.
    virtual void addressSeen(const QString &address);
    virtual bool selfTestRunning();
    // Set while the program's self test runs (bans and connection limits off).
    bool selfTestOn = false;
    // The traffic graph as a GIF picture; empty when there is none.
    virtual QByteArray graphPicture();

private:
    TaddressHistory addresses;
};
