#include "app/usage.h"

#include "config/version.h"

#include <QStringList>

namespace {

// The column where a switch's help starts in "--help".
constexpr int kHelpColumn = 24;

Tusage makeUsage()
{
    Tusage u;
    u.synopsis = QStringLiteral("[SWITCH...] [FOLDER|FILE|TREE.vfs...]");
    u.summary = QStringLiteral("publish files and folders over HTTP");
    u.description = {
        QStringLiteral("ZOF publishes files and folders over HTTP: folder pages built from templates, "
                       "downloads with ranges and resume, folders as tar or zip archives, accounts, "
                       "uploads and limits. It runs with a desktop window, or headless when asked or "
                       "when no display is present."),
        QStringLiteral("Folders and files named on the command line are published for this run; a "
                       "single .vfs file is loaded as the published tree."),
    };
    u.switches = {
        {QStringLiteral("--help"), {}, QStringLiteral("Print this text and exit.")},
        {QStringLiteral("--version"), {}, QStringLiteral("Print the version and exit.")},
        {QStringLiteral("--headless"), {}, QStringLiteral("Run without a window.")},
        {QStringLiteral("--root"), QStringLiteral("DIR"),
         QStringLiteral("Serve the folder DIR at \"/\": the root of the tree is bound to it for this run.")},
        {QStringLiteral("-i"), QStringLiteral("DIR"),
         QStringLiteral("Take the configuration folder from DIR (its zof.ini, events file and saved tree).")},
        {QStringLiteral("-a"), QStringLiteral("FILE"),
         QStringLiteral("Apply the options in FILE (key=value lines); a relative name is also looked for in "
                        "the configuration folder. When neither exists, the rest of the command line is "
                        "ignored.")},
        {QStringLiteral("-c"), QStringLiteral("TEXT"),
         QStringLiteral("Set options: key=value, \"\\n\" starts another line. They are kept like a change "
                        "made while running (saved with the options when auto-save-options is on).")},
        {QStringLiteral("-d"), QStringLiteral("TENTHS"),
         QStringLiteral("Wait that many tenths of a second (an hour at most) before going on.")},
        {QStringLiteral("-q"), {},
         QStringLiteral("Quit as soon as start-up is complete; handed to a running instance, close that one.")},
        {QStringLiteral("-u"), {},
         QStringLiteral("Uninstall request; this build registers nothing of its own to remove (use the "
                        "package manager).")},
        {QStringLiteral("-b"), QStringLiteral("BYTES"),
         QStringLiteral("Buffer size given to the socket of every downloading connection.")},
        {QStringLiteral("-B"), QStringLiteral("BYTES"),
         QStringLiteral("Fixed socket send-buffer size for downloads; 0 or less keeps the automatic sizing.")},
        {QStringLiteral("--self-test"), {},
         QStringLiteral("Run the self test once started (needs the option self-test-url); the outcome goes "
                        "to standard error.")},
        {QStringLiteral("--check-update"), {},
         QStringLiteral("Check for a newer version once started (needs update-info-url or "
                        "zof.updateinfo.txt).")},
        {QStringLiteral("--https-self-signed"), {},
         QStringLiteral("Make a self-signed certificate and key in the configuration folder (kept for "
                        "later runs) and serve HTTPS with them when https-cert is empty.")},
        {QStringLiteral("--run-script"), QStringLiteral("FILE"),
         QStringLiteral("Run FILE through the macro language, print the result and exit.")},
    };
    u.sections = {
        {QStringLiteral("OPTIONS"),
         {QStringLiteral("Any option of the configuration can be given with -c, for example: "
                         "port=8080 (the HTTP port; empty tries 80, then 8080 and others), "
                         "https-port=8443 (the HTTPS port; empty: no HTTPS), https-cert=FILE and "
                         "https-key=FILE (the certificate and its private key, PEM files; the key "
                         "readable by its owner only), forwarded-mask=ADDRESSES (the proxies whose "
                         "X-Forwarded-For is believed).")}},
        {QStringLiteral("FILES"),
         {QStringLiteral("The configuration folder is the one given with -i; else the program's own "
                         "folder when a zof.ini lies there; else ${XDG_CONFIG_HOME:-~/.config}/zof/. "
                         "It holds zof.ini, zof.events, saved logs and the last tree file."),
          QStringLiteral("Without a zof.ini the options are kept in "
                         "${XDG_CONFIG_HOME:-~/.config}/brantel/ZOF/zof.cfg, or machine-wide in "
                         "/etc/xdg/brantel/ZOF/zof.cfg."),
          QStringLiteral("The single-instance lock and channel live in a private folder under "
                         "$XDG_RUNTIME_DIR.")}},
        {QStringLiteral("SIGNALS"),
         {QStringLiteral("SIGTERM, SIGINT and SIGHUP stop the program in an orderly way: the options "
                         "and the tree are saved, connections closed. A third signal ends it at once.")}},
        {QStringLiteral("EXIT STATUS"),
         {QStringLiteral("0 after an orderly stop, --help or --version; 2 when --root names no "
                         "folder or --run-script no file; 1 for other failures.")}},
    };
    return u;
}

QString switchWithArgument(const TusageSwitch &s)
{
    return s.argument.isEmpty() ? s.name : s.name + u' ' + s.argument;
}

} // namespace

const Tusage &usage()
{
    static const Tusage u = makeUsage();
    return u;
}

QString versionLine()
{
    return QStringLiteral("ZOF ") + zofVersion() + QStringLiteral(" (build ") + zofBuild() + u')';
}

QList<QString> wrapWords(const QString &text, int width, int indent, int firstIndent)
{
    QList<QString> lines;
    QString line = QString(firstIndent < 0 ? indent : firstIndent, u' ');
    bool lineHasWord = false;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (lineHasWord && line.size() + 1 + word.size() > width) {
            lines.append(line);
            line = QString(indent, u' ');
            lineHasWord = false;
        }
        if (lineHasWord)
            line += u' ';
        line += word;
        lineHasWord = true;
    }
    if (lineHasWord)
        lines.append(line);
    return lines;
}

QString usageText(int width)
{
    const Tusage &u = usage();
    QStringList out;
    out << QStringLiteral("Usage: zof ") + u.synopsis << QString();
    for (const QString &p : u.description)
        out << wrapWords(p, width, 0) << QString();
    out << QStringLiteral("Switches:");
    for (const TusageSwitch &s : u.switches) {
        const QString head = QStringLiteral("  ") + switchWithArgument(s);
        if (head.size() + 2 <= kHelpColumn) {
            QList<QString> help = wrapWords(s.help, width, kHelpColumn);
            help.first().replace(0, head.size(), head);
            out << help;
        } else {
            out << head << wrapWords(s.help, width, kHelpColumn);
        }
    }
    for (const TusageSection &sec : u.sections) {
        out << QString();
        // "EXIT STATUS" reads as "Exit status:" in the terminal.
        out << sec.title.left(1) + sec.title.mid(1).toLower() + u':';
        for (qsizetype i = 0; i < sec.paragraphs.size(); ++i) {
            if (i)
                out << QString();
            out << wrapWords(sec.paragraphs[i], width, 2);
        }
    }
    return out.join(u'\n') + u'\n';
}

QString roffEscape(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == u'\\')
            out += QStringLiteral("\\e");
        else if (c == u'-')
            out += QStringLiteral("\\-");
        else
            out += c;
    }
    if (out.startsWith(u'.') || out.startsWith(u'\''))
        out.prepend(QStringLiteral("\\&"));
    return out;
}

QString usageManPage()
{
    const Tusage &u = usage();
    QStringList out;
    out << QStringLiteral(".TH ZOF 1 \"\" \"") + roffEscape(versionLine()) + QStringLiteral("\" \"User Commands\"");
    out << QStringLiteral(".SH NAME") << QStringLiteral("zof \\- ") + roffEscape(u.summary);
    out << QStringLiteral(".SH SYNOPSIS") << QStringLiteral(".B zof") << roffEscape(u.synopsis);
    out << QStringLiteral(".SH DESCRIPTION");
    for (qsizetype i = 0; i < u.description.size(); ++i) {
        if (i)
            out << QStringLiteral(".PP");
        out << roffEscape(u.description[i]);
    }
    out << QStringLiteral(".SH SWITCHES");
    for (const TusageSwitch &s : u.switches) {
        out << QStringLiteral(".TP");
        QString head = QStringLiteral("\\fB") + roffEscape(s.name) + QStringLiteral("\\fR");
        if (!s.argument.isEmpty())
            head += QStringLiteral(" \\fI") + roffEscape(s.argument) + QStringLiteral("\\fR");
        out << head << roffEscape(s.help);
    }
    for (const TusageSection &sec : u.sections) {
        out << QStringLiteral(".SH ") + (sec.title.contains(u' ') ? u'"' + sec.title + u'"' : sec.title);
        for (qsizetype i = 0; i < sec.paragraphs.size(); ++i) {
            if (i)
                out << QStringLiteral(".PP");
            out << roffEscape(sec.paragraphs[i]);
        }
    }
    return out.join(u'\n') + u'\n';
}
