#include "ui/templateCommands.h"

#include "config/cfgKeys.h"
#include "config/config.h"
#include "config/options.h"
#include "config/paths.h"
#include "script/macroParser.h"
#include "tpl/mainTemplate.h"
#include "util/files.h"
#include "util/prompt.h"

#include <QFileInfo>
#include <QProcess>

namespace {

void setTemplateOption(const QString &key, const QString &value)
{
    cfg().setCfg(key + u'=' + value, true);
}

// The text the server uses now: the main template's own, else the built-in one.
QString currentTemplateText()
{
    const QString own = mainTpl()->src();
    return own.isEmpty() ? defaultTpl()->src() : own;
}

} // namespace

QString defaultTemplateFile()
{
    return cfgPath() + QStringLiteral("zof.tpl");
}

QString prepareTemplateFile()
{
    const QString configured = opts().tplFile;
    if (!configured.isEmpty() && QFileInfo(absoluteFilePath(configured)).isFile())
        return absoluteFilePath(configured);
    const QString fn = defaultTemplateFile();
    if (!saveTextFile(fn, currentTemplateText()))
        return {};
    setTemplateOption(QStringLiteral("tpl-file"), fn);
    return fn;
}

QStringList templateEditorCommand(const QString &file, const std::function<QString(const char *)> &env)
{
    const QString editor = opts().tplEditor;
    if (!editor.isEmpty() && QFileInfo(editor).isFile())
        return {editor, file};
    for (const char *var : {"VISUAL", "EDITOR"}) {
        const QStringList words = QProcess::splitCommand(env(var));
        if (!words.isEmpty())
            return words + QStringList{file};
    }
    return {QStringLiteral("xdg-open"), file};
}

bool editTemplate()
{
    const QString fn = prepareTemplateFile();
    if (fn.isEmpty()) {
        prompt().message(QStringLiteral("Cannot write ") + defaultTemplateFile(), PK_ERROR);
        return false;
    }
    const QStringList cmd
        = templateEditorCommand(fn, [](const char *name) { return qEnvironmentVariable(name); });
    if (!QProcess::startDetached(cmd.first(), cmd.mid(1))) {
        prompt().message(QStringLiteral("Cannot run ") + cmd.first(), PK_ERROR);
        return false;
    }
    return true;
}

void changeTemplateFile(const QString &path)
{
    if (!path.isEmpty())
        setTemplateOption(QStringLiteral("tpl-file"), path);
}

bool restoreDefaultTemplate()
{
    if (opts().tplFile.isEmpty())
        return false;
    if (prompt().question(QStringLiteral("Continue?"), PB_YES | PB_NO, PB_NO) != PB_YES)
        return false;
    setTemplateOption(QStringLiteral("tpl-file"), QString());
    return true;
}

void switchMacros()
{
    if (opts().enableMacros && containsMacroMarker(currentTemplateText())
        && prompt().question(QStringLiteral("The current template is using macros.\rDo you want to cancel this action?"),
                             PB_YES | PB_NO, PB_YES)
            == PB_YES)
        return;
    setTemplateOption(QStringLiteral("enable-macros"), cfgBool(!opts().enableMacros));
}
