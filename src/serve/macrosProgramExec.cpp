// "exec": programs started with an argument vector, never through a shell.
// Without "out", "timeout" or "exit code" the program (or a document, a
// folder, an address, through the desktop's opener) is launched and left
// running; with them it runs hidden while the event loop keeps serving,
// and its standard output is captured.

#include "serve/macrosProgram.h"

#include "macros/sourcePath.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "util/encodings.h"
#include "util/workingFolder.h"
#include "vfs/diskEntry.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

namespace {

bool hasExtension(QStringView s)
{
    const qsizetype dot = s.lastIndexOf(u'.');
    return dot > std::max(s.lastIndexOf(u'\\'), s.lastIndexOf(u'/')) + 1;
}

QString unquoted(QString s)
{
    s.remove(u'"');
    return s;
}

// A program as written in a template: "\" paths mapped to the disk, bare
// names left for the PATH lookup.
QString programPath(const QString &program)
{
    if (program.contains(u'\\') && !program.contains(u'/'))
        return diskPath(program);
    return program;
}

// Words at spaces outside double quotes, quotes kept.
QStringList quotedWords(const QString &text)
{
    QStringList words;
    QString cur;
    bool inQuote = false;
    for (QChar ch : text) {
        if (ch == u'"')
            inQuote = !inQuote;
        if (ch == u' ' && !inQuote) {
            if (!cur.isEmpty())
                words << cur;
            cur.clear();
        } else {
            cur += ch;
        }
    }
    if (!cur.isEmpty())
        words << cur;
    return words;
}

bool isExecutableProgram(const QString &path)
{
    if (!path.contains(u'/'))
        return !QStandardPaths::findExecutable(path).isEmpty();
    const QFileInfo fi(path);
    return fi.isFile() && fi.isExecutable();
}

void execMacro(TmacroCall &c)
{
    c.result.clear();
    QString params = macroDequote(c.par(1));
    const DiskEntry k = diskEntryKind(diskPath(params));
    if ((k == DiskEntry::File || k == DiskEntry::Folder) && params.contains(u' '))
        params = u'"' + params + u'"';
    else if (c.unnamedCount < 2)
        params.clear();

    const auto outVar = c.namedRaw(QStringLiteral("out"));
    const auto timeout = c.namedRaw(QStringLiteral("timeout"));
    const auto codeVar = c.namedRaw(QStringLiteral("exit code"));
    if (!outVar && !timeout && !codeVar) {
        const QString command = macroDequote(c.par(0)).trimmed();
        if (unquoted(command).trimmed().isEmpty())
            return;
        QString program, args;
        splitCommandText(command, program, args);
        const QString path = programPath(program);
        const QStringList argv = commandArguments(fillPlaceholders(args, params));
        bool ok;
        if (isExecutableProgram(path))
            ok = QProcess::startDetached(path, argv, workingFolder());
        else // a document, a folder or an address: its own program opens it
            ok = QProcess::startDetached(QStringLiteral("xdg-open"), {path}, workingFolder());
        if (ok)
            c.result = QStringLiteral(" ");
        return;
    }

    QString command = macroDequote(c.par(0));
    if (!params.isEmpty())
        command += u' ' + params;
    QString program, args;
    splitCommandText(command.trimmed(), program, args);
    double seconds = 2;
    if (timeout)
        seconds = std::max(0.0, parseMacroFloat(timeout->trimmed()).value_or(2));
    const TexecResult r = program.isEmpty() ? TexecResult{}
                                            : runCaptured(programPath(program), commandArguments(args), seconds);
    if (outVar)
        c.setVar(outVar->trimmed(), r.started ? bytesToText(r.output) : QString());
    if (codeVar)
        c.setVar(codeVar->trimmed(), r.started ? QString::number(r.exitCode) : QString());
    if (r.started)
        c.result = QStringLiteral(" ");
}

} // namespace

void splitCommandText(const QString &command, QString &program, QString &arguments)
{
    const QString text = command.trimmed();
    program.clear();
    arguments.clear();
    if (text.startsWith(u'"')) {
        const qsizetype close = text.indexOf(u'"', 1);
        if (close < 0) {
            program = text.mid(1);
            return;
        }
        program = text.mid(1, close - 1);
        arguments = text.mid(close + 1).trimmed();
        return;
    }
    qsizetype cut = -1;
    bool inQuote = false;
    for (qsizetype i = 0; i < text.size() && cut < 0; ++i) {
        if (text[i] == u'"')
            inQuote = !inQuote;
        else if (text[i] == u' ' && !inQuote)
            cut = i;
    }
    // A path with spaces: only when that path is really there, so that
    // "touch \tmp\a.txt" still passes its argument.
    const DiskEntry whole = diskEntryKind(diskPath(text));
    if (cut < 0
        || (hasExtension(text) && !hasExtension(QStringView(text).left(cut)) && whole == DiskEntry::File)) {
        program = unquoted(text);
        return;
    }
    program = unquoted(text.left(cut));
    arguments = text.mid(cut + 1).trimmed();
}

QStringList commandArguments(const QString &arguments)
{
    QStringList argv = QProcess::splitCommand(arguments);
    for (QString &a : argv) {
        if (!a.startsWith(u'\\') || a.startsWith(QLatin1String("\\\\")))
            continue;
        // "\srv\x" is a disk path when its first folder exists ("\n" stays).
        QString mapped = a;
        mapped.replace(u'\\', u'/');
        const qsizetype second = mapped.indexOf(u'/', 1);
        if (diskEntryKind(second < 0 ? mapped : mapped.left(second)) != DiskEntry::None)
            a = mapped;
    }
    return argv;
}

QString fillPlaceholders(const QString &arguments, const QString &parameters)
{
    const QStringList words = quotedWords(parameters);
    QList<bool> used(words.size(), false);
    QString out = arguments;
    for (int n = 1; n <= 9; ++n) {
        const QString mark = u'%' + QString::number(n);
        if (!out.contains(mark))
            continue;
        const bool have = n <= words.size();
        out.replace(mark, have ? words[n - 1] : QString());
        if (have)
            used[n - 1] = true;
    }
    for (qsizetype i = 0; i < words.size(); ++i)
        if (!used[i])
            out += (out.isEmpty() ? QString() : QStringLiteral(" ")) + words[i];
    return out;
}

TexecResult runCaptured(const QString &program, const QStringList &args, double timeoutSeconds)
{
    TexecResult r;
    QProcess proc;
    proc.setProgram(program);
    proc.setArguments(args);
    proc.setWorkingDirectory(workingFolder());
    proc.setStandardInputFile(QProcess::nullDevice());
    proc.setStandardErrorFile(QProcess::nullDevice());

    QEventLoop loop;
    bool ended = false, timedOut = false;
    auto drain = [&] {
        const QByteArray chunk = proc.readAllStandardOutput();
        const qint64 room = maxExecOutput - r.output.size();
        if (room > 0)
            r.output += chunk.left(room); // the rest is read and dropped
    };
    QObject::connect(&proc, &QProcess::readyReadStandardOutput, &loop, drain);
    QObject::connect(&proc, &QProcess::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });

    proc.start();
    if (!proc.waitForStarted(10000)) {
        proc.kill();
        proc.waitForFinished(1000);
        return r;
    }
    r.started = true;
    if (timeoutSeconds > 0)
        limit.start(int(std::min(timeoutSeconds * 1000, 2147483647.0)));
    if (!ended && proc.state() != QProcess::NotRunning)
        loop.exec();
    limit.stop();
    if (timedOut && proc.state() != QProcess::NotRunning) {
        proc.kill();
        proc.waitForFinished(2000);
        drain();
        r.exitCode = 259; // still running when stopped
        return r;
    }
    if (proc.state() != QProcess::NotRunning)
        proc.waitForFinished(2000);
    drain();
    r.exitCode = proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -1;
    return r;
}

void registerExecMacro(TmacroRegistry &r)
{
    r.add(QStringLiteral("exec"), 1, execMacro);
}
