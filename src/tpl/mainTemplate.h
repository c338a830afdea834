// The program's templates: the built-in default and the main template laid
// over it, with the template file that feeds the main template.
#pragma once

#include "tpl/cachedTpls.h"
#include "tpl/tpl.h"

#include <QString>
#include <functional>

// The templates of the running program, owned by the application; the
// functions below act on it.
struct Ttemplates
{
    TtplPtr defaultTpl = std::make_shared<Ttpl>();
    TtplPtr mainTpl = std::make_shared<Ttpl>(QString(), defaultTpl);
    TtplPtr dmBrowserTpl = std::make_shared<Ttpl>();
    TtplPtr fileListTpl = std::make_shared<Ttpl>();
    QString mainText; // the accepted main template text, kept to rebuild over a new default
    QString fileName;
    qint64 fileTime = 0; // 0: no file seen; -1: forgotten, load on next watch
    qint64 fileSize = -1;
    bool importPending = false;
    bool customized = false;
    std::function<void(const QString &)> reporter;
    std::function<void(const QString &, const QString &)> importRunner;
    std::function<void(const QString &, const TtplPtr &)> scriptRunner;
    TcachedTpls cache; // templates read from files by macros
};

// Replaced templates are new objects: a page holding the old one keeps it.
TtplPtr defaultTpl();
TtplPtr mainTpl();

// The templates for download managers and for plain lists of files; neither
// has a template below it.
TtplPtr dmBrowserTpl();
TtplPtr fileListTpl();
void setDmBrowserTemplateText(const QString &text);
void setFileListTemplateText(const QString &text);

// The built-in default template's text (the main template is rebuilt over it).
void setDefaultTemplateText(const QString &text);
// Reads it from a resource or file name; false when it cannot be read.
bool loadDefaultTemplate(const QString &resourceName);

// Installs `text` as the main template. A template without an "api level"
// of at least 2 is refused: the default is used and the error reporter gets
// kIncompatibleTemplateMsg. Returns whether the text was accepted.
bool loadMainTemplate(const QString &text);
extern const QString kIncompatibleTemplateMsg;

// Records the template file; the next watchTemplateFile loads it and runs
// its "special:import" section once.
void selectTemplateFile(const QString &fileName);
QString templateFileName();
// Loads the template file when it changed or disappeared (timer, options).
void watchTemplateFile();
// True while a template file adds something over the default.
bool customizedTemplate();

// Runs the main template's "special:import" section once.
void runTemplateImport();

// Outlets set by the modules that own them: the operator's message box, and
// the runner that gives "special:import" its item and folder nodes.
void setTemplateErrorReporter(std::function<void(const QString &)> reporter);
void setTemplateImportRunner(
    std::function<void(const QString &text, const QString &tplFile)> runner);
// Without an import runner the section runs as a script over the main
// template; the macro language installs how scripts run.
void setTemplateScriptRunner(std::function<void(const QString &text, const TtplPtr &tpl)> runner);
