#pragma once
// The operator's commands on the main template: editing its file, choosing
// another file, going back to the built-in template and switching macros.
#include <QString>
#include <QStringList>

#include <functional>

// The file "Edit..." writes the template to when none is configured.
QString defaultTemplateFile();
// The configured template file when it exists; otherwise the default file,
// written with the current template text and made the configured one.
// Empty when it cannot be written.
QString prepareTemplateFile();
// The program and arguments that edit `file`: "tpl-editor" when that file
// exists, else $VISUAL, else $EDITOR, else xdg-open. `env` reads a variable.
QStringList templateEditorCommand(const QString &file, const std::function<QString(const char *)> &env);
// "Edit...": prepares the file and starts the editor; false when neither works.
bool editTemplate();
// "Change file...": the chosen file feeds the template from the next check.
void changeTemplateFile(const QString &path);
// "Restore default": after "Continue?", the built-in template comes back.
// Whether it was reset.
bool restoreDefaultTemplate();
// "Enable macros" switched; turning them off while the template uses them
// asks first (Yes keeps them on).
void switchMacros();
