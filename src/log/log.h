#pragma once
// The one entry point for log lines. Until the log window and file exist,
// headless runs write each line to standard error.

#include <QString>

#include <functional>

// The client a line is about: shown as "address:port" in front of the text.
// Empty for lines about no client.
struct TlogPeer
{
    QString address;
    QString port;
};

// What a line is about, so that a later log can colour and filter it.
enum TlogKind {
    LK_INFO,
    LK_CONNECTION,
    LK_REQUEST,
    LK_REPLY,
    LK_DOWNLOAD,
    LK_UPLOAD,
    LK_ERROR,
};

// Writes one entry; `peer` (optional) gives the address shown in front.
void add2log(const QString &line, const TlogPeer &peer = {}, TlogKind kind = LK_INFO);

// Replaces the writer (the full log module, or a test's collector). A null
// function puts the standard-error writer back.
void setLogWriter(
    std::function<void(const QString &line, const TlogPeer &peer, TlogKind kind)> writer);

// Lines given to add2log are dropped (benchmarks, quiet tests).
void setLogQuiet(bool quiet);
