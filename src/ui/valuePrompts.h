#pragma once
// The boxes that ask the operator for one value of an option (limits,
// timeouts, intervals, texts), with their rules for what is accepted, the
// warnings that may follow and the menu captions that show the current
// value. Questions go through the program's prompt, so they run the same
// with the window's dialogs and with a test's answers.
#include <QList>
#include <QString>

#include <optional>

struct TadmissionConn;

// The limits on counts of connections, downloads and addresses.
enum TcountLimit {
    CL_MAX_CONNECTIONS,
    CL_MAX_CONNECTIONS_BY_IP,
    CL_MAX_DOWNLOADS,
    CL_MAX_DOWNLOADS_BY_IP,
    CL_MAX_ADDRESSES,
    CL_MAX_ADDRESSES_DOWNLOADING,
};

// The menu name of a count limit ("Max connections").
QString countLimitName(TcountLimit which);
qint64 countLimitValue(TcountLimit which);
// The name with " (%s)": the number, or "disabled" for 0.
QString countLimitCaption(TcountLimit which);
// A typed count: trimmed, empty is 0 (off); nothing for a negative number
// or a text that is not one.
std::optional<qint64> parseCount(const QString &answer);
// The warning that follows a new limit, given the open connections; empty
// when the limit is not exceeded.
QString countLimitWarning(TcountLimit which, qint64 limit, const QList<TadmissionConn> &open);
// Asks for the limit and applies it. Whether it changed.
bool askCountLimit(TcountLimit which);

// Speed limits in kB/s ("." as the decimal point). Empty is off (-1);
// nothing for a text that is not a number.
std::optional<double> parseSpeed(const QString &answer);
QString speedLimitCaption(bool perAddress);
// Asks for the shared (or per-address) limit and applies it at once.
bool askSpeedLimit(bool perAddress);
// "Pause streaming": while on, the shared limiter lets nothing through.
bool streamingPaused();
void setStreamingPaused(bool on);

// The other value boxes; each returns whether the option changed.
bool askNoDownloadTimeout();
bool askConnectionsTimeout();
bool askMinDiskSpace();
bool askFlagNewFiles();
bool askAutoSaveInterval();
bool askGraphRate();
bool askAutoFingerprint();
bool askRenamePartialUploads();
bool askOpenInBrowser();
bool askLoginRealm();
bool askAllowedReferer();
bool askCustomAddresses();

// Captions that show the current values.
QString noDownloadTimeoutCaption();
QString connectionsTimeoutCaption();
QString minDiskSpaceCaption();
QString flagNewFilesCaption();
QString autoSaveCaption();
QString graphRateCaption();
QString autoFingerprintCaption();
