#pragma once
// The application's record of one connection: who the client is, what the
// current request is about, and the bookkeeping of its transfers. Created on
// SE_CONNECTED, freed by the heartbeat once the connection has ended and is
// no longer locked.

#include "http/connOwner.h"
#include "log/speedSamples.h"
#include "script/macroData.h"
#include "util/dateTime.h"
#include "util/nameValueList.h"
#include "vfs/connView.h"
#include "vfs/file.h"

#include <QFile>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>

class ThttpConn;
class TspeedLimiter;
struct Taccount;
class Ttpl;

enum TdownloadingWhat { DW_UNK, DW_FILE, DW_FOLDERPAGE, DW_ICON, DW_ERROR, DW_ARCHIVE };
enum TpreReply { PR_NONE, PR_BAN, PR_OVERLOAD };

// Outcome of one uploaded file.
struct TuploadResult
{
    QString fn;      // name written on disk
    QString reason;  // why it failed; empty on success
    qint64 size = 0;
    double speed = 0;
};

// A session restored for a request; the session table owns the real one.
struct Tsession
{
    QString id;
    QString user;
    QString redirect; // where the next folder page goes instead
    TdateTime expires = 0;
    double ttl = 0;   // days
};

enum TworkaroundIE { WIE_UNKNOWN, WIE_NEEDED, WIE_NOT_NEEDED };

// The macro engine sees the record as its connection (variables and
// counters of the request live in TmacroConn).
class TconnData final : public ThttpConnOwner, public TconnView, public TmacroConn
{
public:
    explicit TconnData(ThttpConn *conn);
    ~TconnData() override;
    TconnData(const TconnData &) = delete;
    TconnData &operator=(const TconnData &) = delete;

    // The record of a connection (null before SE_CONNECTED).
    static TconnData *of(const ThttpConn *c);

    // Sets the reason and closes the connection gracefully.
    void disconnect(const QString &reason);
    // Forgets the credentials and the session of this connection.
    void logout();

    // TconnView
    QString user() const override { return credentials.user; }
    QString pwd() const override { return credentials.password; }
    // One answer for the tree and the macro engine: macro markers disarmed,
    // "1" for a bare item.
    QString urlVar(const QString &name) const override;
    bool closed() const override;
    void touch() override;

    // Who the client says it is and what was accepted of it.
    struct Credentials
    {
        QString user, password;
        const Taccount *account = nullptr;
        bool accepted = false;
        std::unique_ptr<Tsession> session;
        // The session was taken for the request under way; the next request
        // keeps it only when it names it.
        bool sessionBound = false;
        // The request under way names no session and was lent the anonymous
        // one of the request before it: it may browse with it, but a login,
        // signed link or logout gets a session of its own.
        bool sessionLent = false;
        // The last Cookie line seen on the connection and the session id in it.
        QByteArray cookieLine;
        QString cookieSessionId;
    };

    // What the current request carries besides its head.
    struct RequestInfo
    {
        TnameValueList urlVars{'=', "&"};
        TnameValueList postVars;
        QString agent;
        TdateTime time = 0; // when it arrived
        TworkaroundIE ieUtf8Workaround = WIE_UNKNOWN;
    };

    // The item being sent and how fast it goes.
    struct Transfer
    {
        TfilePtr lastFile;
        QString lastFileName;
        QStringList archivePaths; // disk paths of an archive's files
        TdownloadingWhat downloadingWhat = DW_UNK;
        bool countAsDownload = false;
        // The speed of the transfer under way, sampled once a second, and
        // its mean as the send-buffer tuning and the pages see it.
        TspeedSamples eta;
        double averageSpeed = 0;
        TdateTime started = 0;
        TdateTime nextScreenUpdate = 0; // of the operator's list of transfers
    };

    // The file being uploaded and the outcome of those before it.
    struct Upload
    {
        QString source, destination, failure;
        QList<TuploadResult> results;
        std::unique_ptr<QFile> file; // open while its part arrives
    };

    // What was logged of this connection and what is left to log.
    struct Logging
    {
        bool dontLog = false, fullDownloadLogged = false;
        // An access-log line is due when the request completes or the
        // connection ends, whichever comes first.
        bool apacheLineDue = false;
        // Traffic already counted in "Got"/"bytes sent" lines, and what was
        // counted since the last such line (written at most once a second).
        qint64 lastBytesGot = 0, lastBytesSent = 0;
        struct Grouping
        {
            qint64 bytes = 0;
            TdateTime last = 0;
        };
        Grouping gotGrouping, sentGrouping;
        // Traffic dump: how much of the current reply was already written.
        bool dumpHeadDone = false;
        qint64 dumpBodyDone = 0;
    };

    Credentials credentials;
    RequestInfo request;
    Transfer transfer;
    Upload upload;
    Logging logging;
    // vars and tplCounters: TmacroConn

    // The connection itself: its peer (the forwarded client where trusted),
    // its times and limits, the template a macro chose for it, and what
    // admission and the handlers decided about it.
    ThttpConn *conn = nullptr;
    QString address;
    TdateTime time = 0; // connected at
    TdateTime lastActivityTime = 0;
    std::unique_ptr<TspeedLimiter> limiter;
    std::shared_ptr<const Ttpl> tpl;
    TpreReply preReply = PR_NONE;
    QString banReason;
    QString error;
    QString disconnectReason;
    bool disconnectAfterReply = false;
    bool deleting = false;
};
