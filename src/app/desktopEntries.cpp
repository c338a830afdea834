#include "app/desktopEntries.h"

#include "config/config.h"
#include "util/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString entryName = QStringLiteral("zof.desktop");

// Inside double quotes an Exec argument escapes ", `, $ and \ with a
// backslash; the value itself escapes every backslash once more, and a
// literal percent sign is doubled.
QString quoteExecArgument(const QString &arg)
{
    QString inner;
    for (const QChar c : arg) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            inner += u'\\';
        inner += c;
    }
    inner = u'"' + inner + u'"';
    inner.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    inner.replace(QStringLiteral("%"), QStringLiteral("%%"));
    return inner;
}

// The reverse of quoteExecArgument for the first argument of an Exec value.
QString firstExecArgument(const QString &value)
{
    QString v = value;
    v.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    if (!v.startsWith(u'"'))
        return v.section(u' ', 0, 0).replace(QStringLiteral("%%"), QStringLiteral("%"));
    QString out;
    for (qsizetype i = 1; i < v.size(); ++i) {
        const QChar c = v[i];
        if (c == u'\\' && i + 1 < v.size()) {
            out += v[++i];
            continue;
        }
        if (c == u'"')
            break;
        out += c;
    }
    return out.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

bool writeEntry(const QString &path, const QString &text)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    return saveFile(path, text.toUtf8());
}

} // namespace

TdesktopEntryPaths TdesktopEntryPaths::standard()
{
    TdesktopEntryPaths p;
    p.shellEntry = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                   + QStringLiteral("/applications/") + entryName;
    p.autostartEntry = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                       + QStringLiteral("/autostart/") + entryName;
    return p;
}

QString desktopExecProgram(const QString &programPath)
{
    return quoteExecArgument(programPath);
}

QString shellEntryText(const QString &programPath)
{
    const QString exec = desktopExecProgram(programPath);
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Version=1.4\n"
                          "Name=ZOF\n"
                          "GenericName=HTTP file server\n"
                          "Comment=Publish files and folders over HTTP\n"
                          "Exec=%1 %F\n"
                          "Icon=folder-remote\n"
                          "Terminal=false\n"
                          "Categories=Network;FileTransfer;\n"
                          "MimeType=inode/directory;\n"
                          "Actions=OpenWithZof;\n"
                          "\n"
                          "[Desktop Action OpenWithZof]\n"
                          "Name=Open with ZOF\n"
                          "Exec=%1 %F\n")
        .arg(exec);
}

QString autostartEntryText(const QString &programPath)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Version=1.4\n"
                          "Name=ZOF\n"
                          "Comment=Publish files and folders over HTTP\n"
                          "Exec=%1\n"
                          "Icon=folder-remote\n"
                          "Terminal=false\n")
        .arg(desktopExecProgram(programPath));
}

QString entryProgram(const QString &entryFile)
{
    QFile f(entryFile);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    bool mainGroup = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(u'['))
            mainGroup = line == u"[Desktop Entry]";
        else if (mainGroup && line.startsWith(u"Exec="))
            return firstExecArgument(line.mid(5).trimmed());
    }
    return {};
}

bool isShellIntegrated(const TdesktopEntryPaths &p)
{
    return !entryProgram(p.shellEntry).isEmpty();
}

bool integrateShell(const TdesktopEntryPaths &p, const QString &programPath)
{
    return writeEntry(p.shellEntry, shellEntryText(programPath));
}

void removeShellIntegration(const TdesktopEntryPaths &p)
{
    QFile::remove(p.shellEntry);
}

bool startsWithSession(const TdesktopEntryPaths &p, const QString &programPath)
{
    const QString program = entryProgram(p.autostartEntry);
    return !program.isEmpty() && QFileInfo(program).canonicalFilePath() == QFileInfo(programPath).canonicalFilePath();
}

bool toggleStartWithSession(const TdesktopEntryPaths &p, const QString &programPath)
{
    const bool wasOn = startsWithSession(p, programPath);
    QFile::remove(p.autostartEntry);
    if (wasOn)
        return true;
    return writeEntry(p.autostartEntry, autostartEntryText(programPath));
}

QStringList followMovedProgram(const TdesktopEntryPaths &p, const QString &programPath)
{
    QStringList rewritten;
    const auto follow = [&](const QString &file, const QString &text) {
        const QString program = entryProgram(file);
        if (program.isEmpty() || program == programPath)
            return;
        if (writeEntry(file, text))
            rewritten += file;
    };
    follow(p.shellEntry, shellEntryText(programPath));
    follow(p.autostartEntry, autostartEntryText(programPath));
    return rewritten;
}

QStringList uninstallList(const TdesktopEntryPaths &p, const TcfgPlaces &places)
{
    QStringList out;
    for (const QString &f : {p.shellEntry, p.autostartEntry, places.iniFile, places.userStore,
                             places.machineStore, places.updateCheckTmp})
        if (!f.isEmpty() && QFileInfo(f).isFile() && !out.contains(f))
            out += f;
    return out;
}

QString uninstallQuestion(const QStringList &list)
{
    QString q = QStringLiteral("Delete ZOF and all settings?");
    if (!list.isEmpty())
        q += QStringLiteral("\r\rThese files will be removed:\r") + list.join(u'\r');
    return q;
}

void uninstallFiles(const TdesktopEntryPaths &p, Tconfig &config)
{
    removeShellIntegration(p);
    QFile::remove(p.autostartEntry);
    // Automatic saving goes off with them.
    config.clearStoredOptions();
}
