// The macro engine: gives meaning to the symbols and macros the parser finds,
// and the entry points through which the program expands texts.
#pragma once

#include "script/macroData.h"
#include "script/preparedText.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// Process-wide switches and outlets, set by the modules that own them.
struct TmacroSettings
{
    bool enableMacros = true;                            // option enable-macros
    bool logEnabled = false;                             // "Enable macros.log"
    bool logAppend = false;                              // "Append macros.log"
    QString logFile = QStringLiteral("macros-log.html"); // relative: the working folder
    // Loops and repeats fail rather than grow a result beyond this many UTF-16 units.
    qsizetype maxResultSize = 64 * 1024 * 1024;
    QString forumAddress = QStringLiteral("https://zof.example/forum/");
    std::function<void(const QString &text, int seconds)> statusBar;
    std::function<void(const QString &text, const QString &color)> addToLog;
};
// Read several times for every item of a page: inline, so that a read costs
// the check of the static's guard.
inline TmacroSettings &macroSettings()
{
    static TmacroSettings s;
    return s;
}

// Variables whose name begins with "#" (stored without it).
TvarList &globalVars();

// The built-in aliases (from the resource), and replacing them (tests).
std::shared_ptr<const TnameValueList> defaultAliases();
void setDefaultAliasText(const QString &text);

// The template holding the event scripts (set by whoever loads them).
void setEventsTemplate(TtplPtr tpl);
const TtplPtr &eventsTemplate();

// Expands in place; false when an unmatched marker stopped the expansion.
bool runMacroText(QString &text, TmacroData &md, bool removeQuotings);
// Appends what runMacroText(copy of the text, md, false) leaves in the copy.
bool runPreparedText(const TpreparedText &text, TmacroData &md, QString &out);

struct TsymbolRoute;

// Runs prepared texts one after another, each as runPreparedText would, for
// a caller that runs many with one template and one set of table names (the
// items of a folder page): the aliases are found once for all the runs, and
// each symbol of a text is looked up once (table, "%sym-" string, registry)
// instead of at every run. The table's values may change between runs; a
// change of its names (or of the registry) is noticed, and the symbols are
// looked up again. `md` must outlive the object, whose end restores its aliases.
class TpreparedRun
{
public:
    // Whether the caller keeps the table's names as they are at the first
    // run (a folder page sets only values): they are then not compared
    // again at every run.
    enum Tnames { NAMES_MAY_CHANGE, NAMES_FIXED };

    explicit TpreparedRun(TmacroData &md, Tnames tableNames = NAMES_MAY_CHANGE);
    ~TpreparedRun();
    TpreparedRun(const TpreparedRun &) = delete;
    TpreparedRun &operator=(const TpreparedRun &) = delete;

    // Appends the expansion of `text`; false when an unmatched marker stopped it.
    bool run(const TpreparedText &text, QString &out);

private:
    struct Troutes;
    class Tvalues;

    TmacroData &md;
    std::shared_ptr<const TnameValueList> savedAliases;
    TmacroCallback callback;
    const bool namesFixed;
    bool namesTaken = false;
    QStringList names;           // the table's names the routes were found for
    quint64 registryRevision = 0; // and the registry's revision
    std::vector<std::unique_ptr<Troutes>> known;
    // Results of pure macros that stand alone in a text, by their text; and
    // what the last call of the callback was, when it ran a pure macro.
    QHash<QString, QString> knownMacros;
    QString lastKnownMacro, lastKnownResult; // the one found last
    bool lastPure = false;
    QString lastPureInner, lastPureResult;
    QString macroBuffer; // room for the texts of the items' macros

    bool sameNames() const;
    const std::vector<TsymbolRoute> &routesFor(const TpreparedText &text);
};
// Trimmed text expanded with quote markers removed; tpl defaults to the main template.
QString runScriptText(const QString &text, const QStringList &table, TtplPtr tpl,
                      TmacroConn *cd = nullptr, Tfile *folder = nullptr, Tfile *f = nullptr);
// Makes a template's "special:import" section run as a script when the
// program has no import runner of its own (a template may be loaded before
// any script has run).
void installTemplateScriptRunner();
// Section `name` of the event-script template, trimmed, with "%event%" =
// name; nothing runs when it is empty. `f` is the item concerned and
// `folder` its folder. The run's loops share a
// bounded number of rounds; a section cut short is logged once per load.
QString runEventSection(const QString &name, const QStringList &table, TmacroConn *cd = nullptr,
                        Tfile *f = nullptr, Tfile *folder = nullptr);

// Expands a text inside a run already set up (loops, sections, "quote").
QString expandInRun(TmacroData &md, const QString &text, bool removeQuotings);

// "a op b": numerically when both are numbers, else ignoring case.
// op: = > < >= <= <> !=. False for an unknown operator.
bool compareMacroTexts(const QString &a, const QString &b, const QString &op);
// "$1", "$2"... replaced by params[first], params[first+1]...; then the six
// following numbers by nothing. Nothing happens without parameters.
QString replaceDollarParams(const QString &text, const QStringList &params, int first);

// Empties the macro log (before a folder page, unless appending).
void resetMacroLog();
