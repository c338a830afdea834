#pragma once
// The application's record of one connection: who the client is, what the
// current request is about, and the bookkeeping of its transfers. Created on
// SE_CONNECTED, freed by the heartbeat once the connection has ended and is
// no longer locked.

#include "http/connOwner.h"
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
    QString user() const override { return fUser; }
    QString pwd() const override { return fPwd; }
    // One answer for the tree and the macro engine: macro markers disarmed,
    // "1" for a bare item.
    QString urlVar(const QString &name) const override;
    bool closed() const override;
    void touch() override;

    // Fields, in the record's order.
    TfilePtr FlastFile;
    QString address;
    double averageSpeed = 0;
    TdateTime time = 0, requestTime = 0;
    QString lastFN;
    bool countAsDownload = false;
    QString agent;
    ThttpConn *conn = nullptr;
    const Taccount *account = nullptr;
    QString fUser, fPwd;
    bool acceptedCredentials = false;
    std::unique_ptr<TspeedLimiter> limiter;
    std::shared_ptr<const Ttpl> tpl;
    bool deleting = false;
    TdateTime nextDloadScreenUpdate = 0;
    QString disconnectReason;
    QString error;
    double etaSpeed = 0;
    TdownloadingWhat downloadingWhat = DW_UNK;
    TpreReply preReply = PR_NONE;
    QString banReason;
    qint64 lastBytesSent = 0, lastBytesGot = 0;
    TdateTime lastActivityTime = 0;
    TdateTime fileXferStart = 0;
    QString uploadSrc, uploadDest, uploadFailed;
    QList<TuploadResult> uploadResults;
    bool disconnectAfterReply = false;
    bool logLaterInApache = false, dontLog = false, fullDLlogged = false;
    qint64 bytesGotGrouping = 0, bytesSentGrouping = 0;
    std::unique_ptr<Tsession> session;
    // vars and tplCounters: TmacroConn
    TnameValueList urlvars{'=', "&"};
    TnameValueList postVars;
    TworkaroundIE workaroundForIEutf8 = WIE_UNKNOWN;
    std::unique_ptr<QFile> f; // the open upload file

    // Traffic dump: how much of the current reply was already written.
    bool dumpHeadDone = false;
    qint64 dumpBodyDone = 0;
};
