#pragma once
// The dynamic DNS updater: tells a DNS service the machine's external
// address through the URL of the option dynamic-dns-updater ("%ip%" stands
// for the address). The heartbeat calls second(); the operator's commands
// (set the URL, disable, custom URL, last reply) are plain functions taking
// the prompt to ask through, so a window can call them as they are.
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

class Tprompt;

class TddnsUpdater
{
public:
    // What the updater uses from the rest of the program. A missing
    // `fetch` or `findAddress` means no network: nothing is sent.
    std::function<std::optional<QString>(const QString &url)> fetch;
    std::function<bool()> findAddress; // fills the known external address
    std::function<void(const QString &text, int seconds)> status;
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };

    // Off after a reply that needs the operator; on again when a URL is set.
    bool enabled = true;
    QDateTime lastTime;  // when the last request was made; invalid: never
    QString lastReply;   // the last non-empty reply

    // Every second: while enabled and a URL is set, the external address
    // is searched when unknown; an update is sent when that address is not
    // local and differs from last-external-address, or the last one is
    // more than 24 days old.
    void second(Tprompt &prompt);
    // True when second() would send now (the address being known).
    bool due() const;
    // One request with the known external address (none while unknown);
    // the result as logged ("successful", "error: ...", ...).
    QString update(Tprompt &prompt);

    // The operator's commands.
    void setUrl(const QString &url, Tprompt &prompt);
    void disable(Tprompt &prompt);
    void customUrl(Tprompt &prompt);
    // "See last server response": the reply in a message; a page (it holds
    // "<html>") written to a temporary ".html" file handed to `openFile`.
    void showLastReply(Tprompt &prompt, const std::function<void(const QString &path)> &openFile) const;
    // Turning find-external-on-startup on while an enabled updater is set:
    // true when the operator still wants it.
    bool allowFindOnStartup(Tprompt &prompt) const;
};

// The program's updater.
TddnsUpdater &ddnsUpdater();
