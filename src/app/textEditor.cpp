#include "app/textEditor.h"

#include "config/options.h"
#include "util/files.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

QStringList editorCommand(const QString &tplEditor, const QProcessEnvironment &env)
{
    if (!tplEditor.isEmpty() && QFileInfo(tplEditor).isFile())
        return {tplEditor};
    for (const char *name : {"VISUAL", "EDITOR"}) {
        const QStringList cmd = QProcess::splitCommand(env.value(QString::fromLatin1(name)));
        if (!cmd.isEmpty())
            return cmd;
    }
    return {QStringLiteral("xdg-open")};
}

TdetachedStarter &detachedStarter()
{
    static TdetachedStarter starter = [](const QString &program, const QStringList &args) {
        return QProcess::startDetached(program, args);
    };
    return starter;
}

bool openFileInEditor(const QString &file)
{
    QStringList cmd = editorCommand(opts().tplEditor);
    const QString program = cmd.takeFirst();
    return detachedStarter()(program, cmd << file);
}

QString openTextInEditor(const QString &text)
{
    const QString temp = saveTempFile(text);
    const QString named = temp + QStringLiteral(".txt");
    if (temp.isEmpty() || !QFile::rename(temp, named)) {
        if (!temp.isEmpty())
            removeFile(temp);
        return QStringLiteral("Cannot save temporary file");
    }
    if (!openFileInEditor(named))
        return QStringLiteral("Cannot start the editor");
    return {};
}

QString eventsFileForEditing(const QString &cfgFolder)
{
    QString folder = cfgFolder;
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        folder += u'/';
    const QString path = folder + QStringLiteral("zof.events");
    if (QFileInfo::exists(path))
        return path;
    const QString first = QStringLiteral(
        "# Event scripts: sections named after events, each holding macros. See the documentation's "
        "page on event scripts.\n");
    return saveTextFile(path, first) ? path : QString();
}
