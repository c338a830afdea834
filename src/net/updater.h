#pragma once
// The update check and the installation of an update on Linux: the update
// information fetched (or read from "zof.updateinfo.txt" in the working
// folder), the offers and notices shown, and a new program file downloaded
// beside the running one, checked, swapped in by rename and started.
// What belongs to the running program (connections, listening, the restart,
// the status bar) comes through Tupdater::hooks, which the application fills.
#include "net/updateInfo.h"

#include <QString>

#include <functional>
#include <optional>

class ThttpClient;

struct TupdaterHooks
{
    std::function<int()> openConnections;
    std::function<void()> stopListening;   // also closes idle connections
    std::function<void()> resumeListening; // a delayed update that failed
    // An orderly quit after which the program file starts again with the
    // same arguments.
    std::function<void()> restart;
    std::function<void(const QString &url)> openInBrowser; // null headless
    std::function<void(const QString &text, int seconds)> status;
    std::function<void(const QString &text)> progress;
    std::function<bool()> closing;          // the program is quitting
    // Before an update: the operator's say on an unsaved tree (false: stay,
    // no update); afterwards the tree counts as saved.
    std::function<bool()> leaveTree;
};

class Tupdater
{
public:
    // `programFile`: the running program's file (replaced by an update).
    Tupdater(ThttpClient &client, QString programFile);

    TupdaterHooks hooks;

    std::optional<TupdateInfo> fetchUpdateInfo();
    // Every minute with update-daily on: works at most every third of a day.
    void autoCheckUpdates();
    // The operator's "check for updates".
    void manualCheck();
    void promptUpdate(const QString &url);
    bool installUpdate(const QString &url);
    // The previous program file ("<program>.old") put back, and a restart.
    bool revertUpdate();
    // Every second: a delayed update once no connection is left.
    void runPending();

    // Seconds `program --version` may take before the file counts as broken.
    int versionCheckMs = 5000;

    QString pendingUpdateUrl;
    QString offeredUpdateUrl;
    QString programFile() const { return program; }

private:
    bool download(const QString &url, const QString &target);
    bool verify(const QString &path, const QString &sha256);
    bool swapIn(const QString &fresh);
    void showNotices(const TupdateInfo &info);
    void progress(const QString &text);

    ThttpClient &web;
    QString program;
    std::optional<TupdateInfo> lastInfo;
};

// Where the update information lies when not at the configured location.
inline QString localUpdateInfoName() { return QStringLiteral("zof.updateinfo.txt"); }

// Whether `output` (what `program --version` printed) holds a version line:
// "ZOF " followed by a version.
bool looksLikeVersionOutput(const QString &output);
