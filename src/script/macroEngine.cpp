#include "script/macroEngine.h"

#include "script/macroExpander.h"
#include "script/macroLib.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "script/preparedText.h"
#include "tpl/mainTemplate.h"
#include "util/asciiCase.h"
#include "util/encodings.h"
#include "util/files.h"
#include "util/inertText.h"
#include "util/workingFolder.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

// Resources in a static library must be registered by hand.
static void initScriptResources()
{
    Q_INIT_RESOURCE(script);
}

namespace {

std::shared_ptr<const TnameValueList> gDefaultAliases;
TtplPtr gEventsTpl;

const QString kIllegal = QStringLiteral("not supported or illegal parameters");

// Every macro starts with this error as its result; the few names a page
// uses are met again and again.
const QString &illegalParametersText(const QString &name)
{
    static QHash<QString, QString> known;
    auto it = known.constFind(name);
    if (it == known.constEnd()) {
        if (known.size() >= 512) known.clear();
        it = known.insert(name, macroErrorText(name, kIllegal));
    }
    return *it;
}

void writeMacroLog(bool ts, const QString &fullText, const QString &result);

// Called for every symbol and macro of a page: the usual case (no log)
// costs a test.
inline void logMacro(TmacroData &md, const QString &fullText, const QString &result)
{
    const bool ts = md.logTS;
    md.logTS = false;
    if (macroSettings().logEnabled) writeMacroLog(ts, fullText, result);
}

void writeMacroLog(bool ts, const QString &fullText, const QString &result)
{
    const TmacroSettings &s = macroSettings();
    const QString path = inWorkingFolder(s.logFile);
    QString out;
    const QFileInfo fi(path);
    if (!fi.exists() || fi.size() == 0)
        out = QStringLiteral(
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
            "charset=utf-8\"><style>\r"
            "dt, dd { margin:0; padding:0.2em 0.5em; white-space:pre; display:block; "
            "font-family:monospace; }"
            " dt { background:#dfd; } dd { background:#fdd; }\r</style></head><body>");
    if (ts)
        out += QLatin1String("<hr>") +
               QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat) +
               QLatin1String("\r\n");
    out += QLatin1String("\r<dt>") + escapeHTML(fullText) + QLatin1String("</dt><dd>") +
           escapeHTML(result) + QLatin1String("</dd>");
    saveTextFile(path, out, true);
}

} // namespace

// Where a symbol's value comes from: the table (its last pair of that name,
// ignoring case), a "%sym-" string of the main template, a handler of the
// registry, or nowhere (it stays as written). Only a value from outside the
// table is quoted against macros when the name says "folder" (and not
// "comment").
struct TsymbolRoute
{
    enum Tkind { TABLE, STRING, HANDLER, NOWHERE };
    Tkind kind = NOWHERE;
    qsizetype slot = -1;                   // TABLE: the index of the value
    const TsymbolHandler *handler = nullptr; // HANDLER
    bool quote = false;
};

namespace {

TsymbolRoute routeOf(const QStringList &table, const QString &s)
{
    TsymbolRoute r;
    for (qsizetype i = (table.size() & ~qsizetype(1)) - 2; i >= 0; i -= 2) {
        const QString &name = table[i];
        if (name.size() == s.size() && sameText(name, s)) {
            r.kind = TsymbolRoute::TABLE;
            r.slot = i + 1;
            return r;
        }
    }
    if (startsWithText(s, u"%sym-")) {
        r.kind = TsymbolRoute::STRING;
    } else if ((r.handler = TmacroRegistry::instance().findSymbol(s))) {
        r.kind = TsymbolRoute::HANDLER;
    }
    r.quote = s.size() >= 8 && indexOfText(s, u"folder") >= 0 && indexOfText(s, u"comment") < 0;
    return r;
}

QString valueByRoute(TmacroData &md, const TsymbolRoute &route, const QString &s)
{
    QString result;
    switch (route.kind) {
    case TsymbolRoute::TABLE:
        // Read-only access: the table is often shared with its builder, and a
        // detaching operator[] would copy it for every item.
        return std::as_const(md.table)[route.slot];
    case TsymbolRoute::STRING:
        if (const TtplPtr main = mainTpl())
            result = main->getTxt(s.mid(1, s.size() - 2));
        else
            result = s;
        break;
    case TsymbolRoute::HANDLER:
        if (!(*route.handler)(md, result)) result = s;
        break;
    case TsymbolRoute::NOWHERE:
        result = s;
        break;
    }
    if (route.quote) result = macroQuote(result);
    return result;
}

// What `produce` answers for `text`, logged. An exception gives an empty
// answer, and the log tells of it.
template<typename Produce>
QString loggedAnswer(TmacroData &md, const QString &text, Produce produce)
{
    QString result;
    try {
        result = produce();
    } catch (...) {
        logMacro(md, text,
                 QLatin1String("Exception, please report this bug on ") +
                     macroSettings().forumAddress);
        return QString();
    }
    logMacro(md, text, result);
    return result;
}

// What the callback answers for a symbol (the log sees it).
QString symbolResult(TmacroData &md, const QString &s, const TsymbolRoute &route)
{
    if (md.breaking) return QString();
    return loggedAnswer(md, s, [&] { return valueByRoute(md, route, s); });
}

QString urlVarOf(TmacroData &md, const QString &side)
{
    if (!side.startsWith(QLatin1Char('?'))) return side;
    return md.cd ? md.cd->urlVar(side.mid(1)) : QString();
}

// Steps from the macro's name to its result; the caller logs.
QString evaluateMacro(TmacroData &md, const QString &fullText, QStringList pieces)
{
    const QString name = pieces.takeFirst().trimmed();
    if (name.isEmpty()) return QString();
    // A closing label "/name" ends the last parameter; "{:|:}" is a literal pipe.
    if (!pieces.isEmpty()) {
        QString &last = pieces.last();
        const qsizetype slash = last.size() - name.size() - 1;
        if (slash >= 0 && last[slash] == QLatin1Char('/') &&
            sameText(QStringView(last).mid(slash + 1), QStringView(name)))
            last.truncate(slash);
        static const QString quotedPipe = QStringLiteral("{:|:}"), pipe = QStringLiteral("|");
        for (QString &p : pieces)
            if (p.contains(quotedPipe)) p.replace(quotedPipe, pipe);
    }
    TmacroCall c(md, name, std::move(pieces), fullText);
    c.result = illegalParametersText(name);
    pieces = c.params;

    if (md.aliases) {
        const qsizetype i = md.aliases->indexOf(name);
        if (i >= 0) {
            QString v = md.aliases->valueAt(i);
            if (!v.startsWith(QLatin1String("{.")))
                v = QLatin1String("{.") + v + QLatin1String(".}");
            return replaceDollarParams(v, pieces, 0);
        }
    }

    const QChar first = name[0];
    const bool prefixed = first == QLatin1Char('$') || first == QLatin1Char('!') ||
                          first == QLatin1Char('^') || first == QLatin1Char('?');
    const QString rest = prefixed ? name.mid(1) : QString();
    try {
        if (first == QLatin1Char('$')) {
            sectionMacro(c, rest, 0);
        } else if (first == QLatin1Char('!')) {
            QString v;
            try {
                v = fromTable(c, QStringLiteral("special:strings"), rest);
            } catch (const TmacroAbort &) {
            }
            if (v.isEmpty() && md.tpl) v = md.tpl->getStrByID(rest);
            if (v.isEmpty()) v = c.raw(0);
            c.result = v.isEmpty() ? rest : v;
        } else if (first == QLatin1Char('^')) {
            c.result = replaceDollarParams(c.getVar(rest), pieces, 0);
        } else if (first == QLatin1Char('?')) {
            if (!md.cd) {
                c.setCannotBeUsedHere();
            } else if (const auto var = c.namedRaw(QStringLiteral("var"))) {
                c.setVar(var->trimmed(), md.cd->urlVar(rest));
                c.result.clear();
            } else {
                c.result = md.cd->urlVar(rest);
            }
        }
    } catch (const TmacroAbort &) {
    }

    if (c.lname == QLatin1String("comment")) return QString();

    if (pieces.isEmpty()) {
        static const char *const ops[] = {">=", "<=", "<>", "!=", "=", ">", "<"};
        for (const char *op : ops) {
            const qsizetype at = name.indexOf(QLatin1String(op));
            if (at < 0) continue;
            const QString a = urlVarOf(md, name.left(at).trimmed());
            const QString b = urlVarOf(md, name.mid(at + qstrlen(op)).trimmed());
            return macroBool(compareMacroTexts(a, b, QLatin1String(op)));
        }
    }

    if (const TmacroRegistry::Tmacro *m = TmacroRegistry::instance().find(c.lname)) {
        if (c.count() >= m->minParams) m->handler(c);
    }
    return c.result;
}

// Whether the call runs a pure macro of the registry (not one of the
// template's aliases, which may take its name).
bool isPureCall(const TmacroData &md, const QStringList &pieces)
{
    if (pieces.isEmpty()) return false;
    const QString name = pieces.first().trimmed();
    if (name.isEmpty()) return false;
    const TmacroRegistry::Tmacro *m = TmacroRegistry::instance().find(name.toLower());
    return m && m->pure && !(md.aliases && md.aliases->indexOf(name) >= 0);
}

// Results of pure macros by their text: a page runs the same few again and
// again (each item encoding the same empty folder, say). Bounded.
class TpureResults
{
public:
    static constexpr qsizetype kMaxText = 256, kMaxResult = 4096, kMaxEntries = 1024;

    const QString *find(const QString &text) const
    {
        const auto it = results.constFind(text);
        return it == results.constEnd() ? nullptr : &*it;
    }
    void keep(const QString &text, const QString &result)
    {
        if (result.size() > kMaxResult) return;
        if (results.size() >= kMaxEntries) results.clear();
        results.insert(text, result);
    }

private:
    QHash<QString, QString> results;
};

TpureResults &pureResults()
{
    static TpureResults r;
    return r;
}

// `pure`, when given, is set when the call ran (or found) a pure macro of
// the registry and nothing went wrong.
QString cbMacros(const QString &fullText, const QStringList &pieces, bool isSymbol, TmacroData &md,
                 bool *pure = nullptr)
{
    if (isSymbol) return symbolResult(md, fullText, routeOf(md.table, fullText));
    if (md.breaking) return QString();
    return loggedAnswer(md, fullText, [&] {
        if (!macroSettings().enableMacros) return fullText;
        if (fullText.size() > TpureResults::kMaxText || !isPureCall(md, pieces))
            return evaluateMacro(md, fullText, pieces);
        QString result;
        if (const QString *known = pureResults().find(fullText)) {
            result = *known;
        } else {
            result = evaluateMacro(md, fullText, pieces);
            pureResults().keep(fullText, result);
        }
        if (pure) *pure = true;
        return result;
    });
}

std::shared_ptr<const TnameValueList> aliasesFor(const TtplPtr &tpl)
{
    const auto defaults = defaultAliases();
    const QString own = tpl ? tpl->getTxt(QStringLiteral("special:alias")) : QString();
    if (own.isEmpty()) return defaults;
    // Pages run once per request: keep the last combination.
    static QString lastText;
    static std::shared_ptr<const TnameValueList> last, lastDefaults;
    if (last && own == lastText && lastDefaults == defaults) return last;
    auto list = std::make_shared<TnameValueList>(TnameValueList::fromText(own));
    for (const auto &e : defaults->entries())
        list->append(e.name, e.value);
    lastText = own;
    last = list;
    lastDefaults = defaults;
    return list;
}

} // namespace

TvarList &globalVars()
{
    static TvarList g;
    return g;
}

std::shared_ptr<const TnameValueList> defaultAliases()
{
    if (!gDefaultAliases) {
        initScriptResources();
        QFile f(QStringLiteral(":/zof/macroAliases.txt"));
        QString text;
        if (f.open(QIODevice::ReadOnly)) text = QString::fromUtf8(f.readAll());
        setDefaultAliasText(text);
    }
    return gDefaultAliases;
}

void setDefaultAliasText(const QString &text)
{
    gDefaultAliases = std::make_shared<TnameValueList>(TnameValueList::fromText(text));
}

namespace {

// Loop rounds an event run may take together: a script that loops runs on
// the one thread inside request handling, so it is cut short well before
// the per-loop cap and the server goes on answering.
constexpr qint64 kEventLoopRounds = 1'000'000;

// Sections already reported as cut short since the scripts were loaded.
QSet<QString> &reportedRunaways()
{
    static QSet<QString> names;
    return names;
}

} // namespace

void setEventsTemplate(TtplPtr tpl)
{
    gEventsTpl = std::move(tpl);
    reportedRunaways().clear();
}

const TtplPtr &eventsTemplate()
{
    return gEventsTpl;
}

QString expandInRun(TmacroData &md, const QString &text, bool removeQuotings)
{
    QString t = text;
    parseAndExpand(
        t,
        [&md](const QString &full, const QStringList &params, bool isSymbol) {
            return cbMacros(full, params, isSymbol, md);
        },
        removeQuotings, &md.budget);
    return t;
}

namespace {

// The set-up of one run (aliases, variables without a connection, the log's
// time stamp); false when an unmatched marker stopped `expand`.
void reportTemplateError(const EtplError &e)
{
    if (macroSettings().statusBar)
        macroSettings().statusBar(QStringLiteral("Template error at %1,%2: %3: %4 ...")
                                      .arg(e.row)
                                      .arg(e.col)
                                      .arg(e.msg, e.code),
                                  1000);
}

// One run once its aliases are set: variables without a connection, the
// log's time stamp; false when an unmatched marker stopped `expand`.
template<typename Expand>
bool runWithAliasesSet(TmacroData &md, const TmacroCallback &callback, Expand expand)
{
    std::unique_ptr<TvarList> savedTemp;
    const bool ownTemp = !md.cd;
    if (ownTemp) savedTemp = std::exchange(md.tempVars, std::make_unique<TvarList>());
    md.logTS = true;
    md.breaking = false;
    bool ok = true;
    try {
        expand(callback);
    } catch (const EtplError &e) {
        ok = false;
        reportTemplateError(e);
    }
    if (ownTemp) md.tempVars = std::move(savedTemp);
    return ok;
}

TmacroCallback callbackFor(TmacroData &md)
{
    return [&md](const QString &full, const QStringList &params, bool isSymbol) {
        return cbMacros(full, params, isSymbol, md);
    };
}

// The set-up of one run (aliases, variables without a connection, the log's
// time stamp); false when an unmatched marker stopped `expand`.
template<typename Expand>
bool runWithSetup(TmacroData &md, Expand expand)
{
    auto savedAliases = std::exchange(md.aliases, aliasesFor(md.tpl));
    const bool ok = runWithAliasesSet(md, callbackFor(md), expand);
    md.aliases = std::move(savedAliases);
    return ok;
}

} // namespace

bool runMacroText(QString &text, TmacroData &md, bool removeQuotings)
{
    return runWithSetup(md, [&](const TmacroCallback &cb) {
        parseAndExpand(text, cb, removeQuotings, &md.budget);
    });
}

bool runPreparedText(const TpreparedText &text, TmacroData &md, QString &out)
{
    return runWithSetup(md, [&](const TmacroCallback &cb) { text.expandInto(out, cb, &md.budget); });
}

// The routes of one text's symbols, by first occurrence.
struct TpreparedRun::Troutes
{
    QString text; // keeps its characters alive: another text cannot take their place
    std::vector<TsymbolRoute> routes;
};

class TpreparedRun::Tvalues final : public TpreparedValues
{
public:
    Tvalues(TpreparedRun &run, const TpreparedText &text, const std::vector<TsymbolRoute> &routes)
        : run(run), text(text), routes(routes)
    {
    }
    QString symbolValue(qsizetype first) override
    {
        const TsymbolRoute &route = routes[size_t(first)];
        // A value of the table, as symbolResult gives it (the log sees
        // nothing when it is off).
        if (route.kind == TsymbolRoute::TABLE && !run.md.breaking && !macroSettings().logEnabled) {
            run.md.logTS = false;
            return std::as_const(run.md.table)[route.slot];
        }
        return symbolResult(run.md, text.symbol(first), route);
    }
    const QString *knownMacro(const QString &whole) override
    {
        run.lastPure = false;
        // Each call is logged, and a break ends every macro after it.
        const TmacroSettings &s = macroSettings();
        if (run.md.breaking || !s.enableMacros || s.logEnabled) return nullptr;
        // Items mostly run the macro the item before ran: compared whole,
        // it needs no hash.
        if (!run.lastKnownMacro.isNull() && whole == run.lastKnownMacro) return &run.lastKnownResult;
        const auto it = run.knownMacros.constFind(whole);
        if (it == run.knownMacros.constEnd()) return nullptr;
        run.lastKnownMacro = it.key();
        run.lastKnownResult = *it;
        return &run.lastKnownResult;
    }
    void macroDone(const QString &whole, const QString &result) override
    {
        // Kept when the macro's own call was the last one and its result
        // needed no expansion of its own: nothing but the text decided it.
        if (!run.lastPure || whole.size() != run.lastPureInner.size() + 4 ||
            QStringView(whole).mid(2, whole.size() - 4) != run.lastPureInner ||
            result != run.lastPureResult || macroscan::mayHoldSymbol(result) || macroscan::mayHoldMacro(result) ||
            result.size() > kMaxKeptResult)
            return;
        if (run.knownMacros.size() >= kMaxKnownMacros) run.knownMacros.clear();
        run.knownMacros.insert(whole, result);
    }

    QString takeMacroBuffer() override
    {
        QString buffer = std::exchange(run.macroBuffer, QString());
        buffer.truncate(0);
        return buffer;
    }
    void handBackMacroBuffer(QString &&buffer) override { run.macroBuffer = std::move(buffer); }

private:
    static constexpr qsizetype kMaxKnownMacros = 256, kMaxKeptResult = 4096;
    TpreparedRun &run;
    const TpreparedText &text;
    const std::vector<TsymbolRoute> &routes;
};

TpreparedRun::TpreparedRun(TmacroData &md, Tnames tableNames)
    : md(md), savedAliases(std::exchange(md.aliases, aliasesFor(md.tpl))), namesFixed(tableNames == NAMES_FIXED)
{
    callback = [this](const QString &full, const QStringList &params, bool isSymbol) {
        bool pure = false;
        QString result = cbMacros(full, params, isSymbol, this->md, &pure);
        lastPure = pure;
        if (pure) {
            lastPureInner = full;
            lastPureResult = result;
        }
        return result;
    };
}

TpreparedRun::~TpreparedRun()
{
    md.aliases = std::move(savedAliases);
}

bool TpreparedRun::sameNames() const
{
    // The names are mostly the very strings seen before: their characters
    // are compared only when they sit elsewhere.
    const qsizetype n = md.table.size() & ~qsizetype(1);
    if (n != 2 * names.size()) return false;
    const QString *table = md.table.constData();
    const QString *known = names.constData();
    for (qsizetype k = 0; k < n / 2; ++k) {
        const QString &a = table[2 * k], &b = known[k];
        // The buffers themselves, without constData()'s care for a null one.
        if (a.data_ptr().data() == b.data_ptr().data() && a.size() == b.size()) continue;
        if (a != b) return false;
    }
    return true;
}

const std::vector<TsymbolRoute> &TpreparedRun::routesFor(const TpreparedText &text)
{
    static const TmacroRegistry &registry = TmacroRegistry::instance();
    const quint64 revision = registry.revision();
    // Fixed names are compared only until they are taken, at the first run.
    const bool namesKnown = namesFixed && namesTaken;
    Q_ASSERT(!namesKnown || sameNames());
    if (revision != registryRevision || !(namesKnown || sameNames())) {
        known.clear();
        names.clear();
        const QStringList &table = md.table;
        for (qsizetype i = 0; i + 1 < table.size(); i += 2)
            names.append(table[i]);
        registryRevision = revision;
        namesTaken = true;
    }
    const QString &src = text.text();
    if (!known.empty() && known.back()->text.constData() == src.constData() &&
        known.back()->text.size() == src.size())
        return known.back()->routes; // the text of the item before, mostly
    for (const auto &r : known)
        if (r->text.constData() == src.constData() && r->text.size() == src.size()) return r->routes;
    for (const auto &r : known)
        if (r->text == src) return r->routes;
    auto r = std::make_unique<Troutes>();
    r->text = src;
    r->routes.resize(size_t(text.symbolCount()));
    for (qsizetype k = 0; k < text.symbolCount(); ++k)
        if (text.firstOccurrence(k) == k) r->routes[size_t(k)] = routeOf(md.table, text.symbol(k));
    known.push_back(std::move(r));
    return known.back()->routes;
}

bool TpreparedRun::run(const TpreparedText &text, QString &out)
{
    Tvalues source(*this, text, routesFor(text));
    return runWithAliasesSet(md, callback, [&](const TmacroCallback &cb) {
        text.expandInto(out, cb, &md.budget, &source);
    });
}

QString runScriptText(const QString &text, const QStringList &table, TtplPtr tpl, TmacroConn *cd,
                      Tfile *folder, Tfile *f)
{
    QString t = text.trimmed();
    if (t.isEmpty()) return QString();
    TmacroData md;
    md.tpl = tpl ? std::move(tpl) : mainTpl();
    md.cd = cd;
    md.folder = folder;
    md.f = f;
    md.table = table;
    runMacroText(t, md, true);
    return t;
}

void installTemplateScriptRunner()
{
    setTemplateScriptRunner(
        [](const QString &text, const TtplPtr &tpl) { runScriptText(text, {}, tpl); });
}

QString runEventSection(const QString &name, const QStringList &table, TmacroConn *cd, Tfile *f, Tfile *folder)
{
    const TtplPtr tpl = eventsTemplate();
    if (!tpl) return QString();
    QString text = tpl->getTxt(name).trimmed();
    if (text.isEmpty()) return QString();
    TmacroData md;
    md.tpl = tpl;
    md.cd = cd;
    md.f = f;
    md.folder = folder;
    // The values are data (paths on disk, names visitors chose): inert, so
    // a name holding "{." or "%...%" is written out, never run.
    md.table.reserve(table.size() + 2);
    for (qsizetype i = 0; i + 1 < table.size(); i += 2)
        md.table << table[i] << makeInert(table[i + 1]);
    md.table << QStringLiteral("%event%") << name;
    md.budget.loopRoundsLeft = kEventLoopRounds;
    runMacroText(text, md, true);
    if (md.budget.loopRoundsLeft < 0 && !reportedRunaways().contains(name)) {
        reportedRunaways().insert(name);
        if (macroSettings().addToLog)
            macroSettings().addToLog(QStringLiteral("Event script \"%1\" stopped: too many loop rounds").arg(name),
                                     QStringLiteral("red"));
    }
    return text;
}

bool compareMacroTexts(const QString &a, const QString &b, const QString &op)
{
    int cmp;
    const auto na = parseMacroFloat(a), nb = parseMacroFloat(b);
    if (na && nb)
        cmp = *na < *nb ? -1 : (*na > *nb ? 1 : 0);
    else
        cmp = QString::localeAwareCompare(a.toCaseFolded(), b.toCaseFolded());
    if (op == QLatin1String("=")) return cmp == 0;
    if (op == QLatin1String(">")) return cmp > 0;
    if (op == QLatin1String("<")) return cmp < 0;
    if (op == QLatin1String(">=")) return cmp >= 0;
    if (op == QLatin1String("<=")) return cmp <= 0;
    if (op == QLatin1String("<>") || op == QLatin1String("!=")) return cmp != 0;
    return false;
}

QString replaceDollarParams(const QString &text, const QStringList &params, int first)
{
    if (params.isEmpty()) return text;
    QString s = text;
    const int n = qMax(0, int(params.size()) - first);
    for (int k = 0; k < n; ++k)
        s.replace(QLatin1Char('$') + QString::number(k + 1), params[first + k]);
    for (int j = n + 1; j <= n + 6; ++j)
        s.replace(QLatin1Char('$') + QString::number(j), QString());
    return s;
}

void resetMacroLog()
{
    const TmacroSettings &s = macroSettings();
    if (s.logAppend) return;
    QFile::resize(inWorkingFolder(s.logFile), 0);
}
