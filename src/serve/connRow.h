#pragma once
// What the operator's connection list shows of one connection: the texts of
// its cells, the figures of its progress bar, its icon and its tooltip.
// Built from the connection alone, so a list of any length refreshes by
// comparing rows.
#include <QString>

class ThttpConn;

enum TconnRowIcon { CRI_CONNECTED, CRI_DISCONNECTED, CRI_DOWNLOAD, CRI_UPLOAD };

struct TconnRow
{
    QString address;  // [user@]address:port
    QString file;
    QString status;
    QString speed;
    QString timeLeft;
    QString progress; // "%d%", empty without a transfer
    TconnRowIcon icon = CRI_CONNECTED;
    // The bar: the whole file, the part being sent within it, and how much
    // of that part went (all 0 without a transfer).
    qint64 whole = 0, partStart = 0, partSize = 0, partDone = 0;
    QString tooltip;

    bool operator==(const TconnRow &) const = default;
};

// A download under way: the body of a file or an archive being sent.
bool downloadInProgress(const ThttpConn &c);
// An upload under way: a file part being received.
bool uploadInProgress(const ThttpConn &c);

TconnRow connRow(const ThttpConn &c);

// "%.1f kB/s" for at least 1 byte per second, else "-".
QString connSpeedText(double bytesPerSecond);
