#pragma once
// State of one dispatch and its phases. A request walks the phase table in
// order; each phase either lets the next one run or ends the dispatch. The
// table (Tdispatch::phases()) is the program's access policy: its order is
// the order of the checks.

#include "http/httpConn.h"
#include "serve/connData.h"
#include "serve/serve.h"
#include "vfs/diskEntry.h"

#include <span>

// What a phase tells the dispatch: run the next phase, or stop here (the
// reply, if any, is decided).
enum class Tphase { Continue, Done };

struct Tdispatch
{
    TconnData &cd;
    ThttpConn &conn;
    ThttpReply &reply;
    Tserve &s;
    QString path;     // decoded path (shortened to its folder for a special name)
    QString fullPath; // decoded path as requested
    QString mode;
    QString special;
    TfilePtr node;
    DiskEntryInfo disk; // the node's look on disk, reused for the download

    explicit Tdispatch(TconnData &d)
        : cd(d), conn(*d.conn), reply(d.conn->reply()), s(serve())
    {
    }

    struct Step
    {
        const char *name;
        Tphase (Tdispatch::*run)();
    };
    // Every phase once, in the order the dispatch runs them.
    static std::span<const Step> phases();
    // Walks the phases until one of them is done.
    void run();

private:
    // Up to the credential check (dispatcher.cpp).
    Tphase clientAddress();
    Tphase admission();
    Tphase resetRecord();
    Tphase addressLimiter();
    Tphase commonHeaders();
    Tphase preReplyPage();
    Tphase preFilterEvent();
    Tphase malformedRequest();
    Tphase countHit();
    Tphase httpsRedirect();
    Tphase parseUrl();
    Tphase requestFacts();
    Tphase selfTest();
    Tphase crossSiteCheck();
    Tphase session();
    Tphase formToken();
    Tphase logout();
    Tphase login();
    Tphase signedLink();
    Tphase speedLimitExemption();
    Tphase absolutePath();
    Tphase requestEvent();
    Tphase startReply();
    Tphase icons();
    Tphase builtInScript();
    Tphase credentials();
    // From resolution to the reply (dispatchNode.cpp).
    Tphase resolve();
    Tphase missingNode();
    Tphase folderRedirect();
    Tphase defaultFile();
    Tphase existence();
    Tphase permission();
    Tphase favicon();
    Tphase uploadForms();
    Tphase uploadResults();
    Tphase templateSection();
    Tphase browsable();
    Tphase referer();
    Tphase archive();
    Tphase fileList();
    Tphase unknownSpecial();
    Tphase servedNode();
    Tphase folderPage();
    Tphase linkTarget();
    Tphase fileDownload();

    void replyIcon(int index);
    bool refererRefused();
    void deleteAction();
};
