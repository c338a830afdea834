#include "ui/logMenu.h"

#include "config/config.h"
#include "config/options.h"
#include "ui/logView.h"
#include "util/prompt.h"

#include <QFontDialog>

namespace {

TmenuEntry logOption(const char *caption, const char *key, TmenuClass cls = MC_ALWAYS)
{
    TmenuEntry e;
    e.caption = QString::fromLatin1(caption);
    e.optionKey = QString::fromLatin1(key);
    e.cls = cls;
    return e;
}

TmenuEntry logCommand(const char *caption, std::function<void()> run, TmenuClass cls = MC_ALWAYS)
{
    TmenuEntry e;
    e.caption = QString::fromLatin1(caption);
    e.run = std::move(run);
    e.cls = cls;
    return e;
}

// An input box for a text option; Cancel changes nothing.
void askLogOption(const QString &title, const QString &text, const QString &key, const QString &current)
{
    if (const std::optional<QString> v = prompt().askText(text, title, current))
        applyOptionLine(key, v->trimmed());
}

void askLogMaxLines()
{
    const std::optional<QString> v = prompt().askText(QStringLiteral("Max lines on screen.\rLeave blank to get no limits."),
                                                      QStringLiteral("Max lines on screen"),
                                                      opts().logMaxLines > 0 ? QString::number(opts().logMaxLines) : QString());
    if (!v)
        return;
    bool ok = true;
    const qint64 n = v->trimmed().isEmpty() ? 0 : v->trimmed().toLongLong(&ok);
    if (!ok || n < 0) {
        prompt().message(QStringLiteral("Invalid value"), PK_ERROR);
        return;
    }
    applyOptionLine(QStringLiteral("log-max-lines"), QString::number(n));
}

QList<TmenuEntry> logWhatEntries()
{
    return {
        logOption("Time", "log-time"),
        logOption("Date", "log-date"),
        logOption("Browsing", "log-browsing"),
        logOption("Icons", "log-icons"),
        logOption("Progress", "log-progress"),
        logOption("Banned", "log-banned"),
        logOption("Only served requests", "log-only-served"),
        logOption("Other events", "log-others"),
        logOption("Connections", "log-connections", MC_EXPERT),
        logOption("Disconnections", "log-disconnections", MC_EXPERT),
        logOption("Requests", "log-requests"),
        logOption("Requests dump", "log-dump-request", MC_EXPERT),
        logOption("Replies", "log-replies"),
        logOption("Full downloads", "log-full-downloads"),
        logOption("Uploads", "log-uploads"),
        logOption("Deletions", "log-deletions"),
        logOption("Bytes received", "log-bytes-received", MC_EXPERT),
        logOption("Bytes sent", "log-bytes-sent", MC_EXPERT),
        logOption("Server start", "log-server-start"),
        logOption("Server stop", "log-server-stop"),
    };
}

} // namespace

void applyOptionLine(const QString &key, const QString &value)
{
    cfg().setCfg(key + u'=' + value, true);
}

QList<TmenuEntry> logMenuEntries(TlogView *view, const TlogMenuHooks &hooks)
{
    QList<TmenuEntry> m;
    TmenuEntry what;
    what.caption = QStringLiteral("Log what");
    what.children = logWhatEntries();
    m += what;
    m += logOption("Log to screen", "log-to-screen", MC_EXPERT);
    m += logCommand("Log to file...", [] {
        askLogOption(QStringLiteral("Log file"),
                  QStringLiteral("This option creates a log file.\rLeave blank to get no log file.\r"
                                 "You can use %d% %m% %y% %dow% %w% %user% in the name."),
                  QStringLiteral("log-file-name"), opts().logFileName);
    }, MC_EXPERT);
    m += logCommand("Max lines on screen...", &askLogMaxLines, MC_EXPERT);
    const auto fileSet = [] { return !opts().logFileName.isEmpty(); };
    TmenuEntry apache = logCommand("Apache log file format...", [] {
        askLogOption(QStringLiteral("Apache log file format"), QStringLiteral("Here you can specify how to format the log file"),
                  QStringLiteral("log-apache-format"), opts().logApacheFormat);
    }, MC_EXPERT);
    apache.offered = fileSet;
    m += apache;
    TmenuEntry tabbed = logOption("Tabbed instead of multi-line for the log file", "log-file-tabbed", MC_EXPERT);
    tabbed.offered = fileSet;
    m += tabbed;
    m += logCommand("Do not log address...", [] {
        askLogOption(QStringLiteral("Do not log address"), QStringLiteral("Any event from the following IP address mask will be not logged."),
                  QStringLiteral("do-not-log-address"), opts().doNotLogAddress);
    }, MC_EXPERT);
    m += logCommand("Do not log some files...", [] {
        prompt().message(QStringLiteral("Select the files/folder you don't want to be logged,\r"
                                        "then right click and select \"Don't log\"."));
    }, MC_EXPERT);
    if (hooks.assignNames)
        m += logCommand("Assign name to address...", hooks.assignNames, MC_EXPERT);
    m += logCommand("Font...", [view] {
        QFont initial = view->font();
        if (!opts().logFontName.isEmpty())
            initial.setFamily(opts().logFontName);
        if (opts().logFontSize > 0)
            initial.setPointSize(int(opts().logFontSize));
        bool ok = false;
        const QFont f = QFontDialog::getFont(&ok, initial, view);
        if (!ok)
            return;
        applyOptionLine(QStringLiteral("log-font-name"), f.family());
        applyOptionLine(QStringLiteral("log-font-size"), QString::number(f.pointSize()));
    });
    m += TmenuEntry::line();
    TmenuEntry readOnly = logOption("Read-only", "log-read-only", MC_EXPERT);
    readOnly.run = [view] { view->applyOptions(); };
    m += readOnly;
    TmenuEntry ban = logCommand("Ban this address", [view, hooks] {
        const QString a = view->caretLineAddress();
        if (!a.isEmpty() && hooks.banAddress)
            hooks.banAddress(a);
    });
    ban.offered = [view] { return !view->caretLineAddress().isEmpty(); };
    m += ban;
    m += logCommand("Copy", [view] { view->copyToClipboard(); });
    m += logCommand("Clear", [view] { view->clearLog(); });
    m += logCommand("Clear and reset totals", [view] { view->clearAndResetTotals(); }, MC_EXPERT);
    m += logCommand("Save", [view] {
        if (!view->saveTo(TlogView::defaultSavePath()))
            prompt().message(QStringLiteral("Error saving"), PK_ERROR);
    });
    m += logCommand("Save as...", [view] { view->saveAs(); });
    if (hooks.addressesEver)
        m += logCommand("Addresses ever connected...", hooks.addressesEver, MC_EXPERT);
    return m;
}
