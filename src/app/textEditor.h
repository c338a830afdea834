#pragma once
// Texts and files shown in the operator's editor: the template editor of the
// options when that file exists, else $VISUAL or $EDITOR, else the desktop's
// program for the file (xdg-open).
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

// The command, program first, that a file name is appended to.
QStringList editorCommand(const QString &tplEditor,
                          const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());

// Starts a program detached; whether it started. Replaceable for tests.
using TdetachedStarter = std::function<bool(const QString &program, const QStringList &args)>;
TdetachedStarter &detachedStarter();

// The file opened with editorCommand(opts().tplEditor).
bool openFileInEditor(const QString &file);
// The text written as UTF-8 to a temporary ".txt" file that is then opened;
// an error message, or empty when the editor was started.
QString openTextInEditor(const QString &text);

// The events file of the configuration folder, created with a first line
// when missing; its path (empty when it could not be made).
QString eventsFileForEditing(const QString &cfgFolder);
