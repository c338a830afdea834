#include "script/macroCall.h"

#include "script/macroEngine.h"
#include "script/macroText.h"
#include "util/asciiCase.h"

TmacroConn::~TmacroConn() = default;

QString TmacroConn::urlVar(const QString &) const
{
    return QString();
}

void TmacroConn::resetForRequest()
{
    vars.clear();
    tplCounters.clear();
}

TmacroCall::TmacroCall(TmacroData &md, const QString &name, QStringList p, QString full)
    : md(md), fullText(std::move(full)), name(name), lname(name.toLower()), params(std::move(p))
{
    while (unnamedCount < params.size() && !params[unnamedCount].contains(QLatin1Char('=')))
        ++unnamedCount;
}

std::optional<QString> TmacroCall::namedRaw(const QString &n) const
{
    for (const QString &p : params) {
        const qsizetype eq = p.indexOf(QLatin1Char('='));
        if (eq >= 0 && sameText(QStringView(p).left(eq), QStringView(n))) return p.mid(eq + 1);
    }
    return std::nullopt;
}

QString TmacroCall::named(const QString &n, const QString &def) const
{
    const auto v = namedRaw(n);
    return v ? v->trimmed() : def;
}

bool TmacroCall::looksNamed(int k) const
{
    const QString p = raw(k);
    const qsizetype eq = p.indexOf(QLatin1Char('='));
    if (eq <= 0) return false;
    for (qsizetype i = 0; i < eq; ++i) {
        const QChar c = p[i];
        if (c == QLatin1Char(' ') || c == QLatin1Char('\r') || c == QLatin1Char('\n') ||
            c == QLatin1Char('\t'))
            return false;
    }
    return true;
}

std::optional<QString> TmacroCall::parOrNamed(int k, const QString &n, bool trim) const
{
    if (auto v = namedRaw(n)) return trim ? v->trimmed() : *v;
    if (k >= count() || looksNamed(k)) return std::nullopt;
    return trim ? par(k) : raw(k);
}

double TmacroCall::floatPar(int k) const
{
    const auto v = parseMacroFloat(par(k));
    if (!v) throw TmacroAbort("not a number");
    return *v;
}

qint64 TmacroCall::intPar(int k) const
{
    const auto v = parseMacroInt(par(k));
    if (!v) throw TmacroAbort("not an integer");
    return *v;
}

void TmacroCall::setError(const QString &message)
{
    result = macroErrorText(name, message);
}

TvarList &TmacroCall::space(const QString &varName, QString &bareName) const
{
    bareName = varName.trimmed();
    if (bareName.startsWith(QLatin1Char('#'))) {
        bareName.remove(0, 1);
        return globalVars();
    }
    if (md.cd) return md.cd->vars;
    if (md.tempVars) return *md.tempVars;
    throw TmacroAbort("no namespace available");
}

QString TmacroCall::getVar(const QString &varName) const
{
    QString bare;
    return space(varName, bare).value(bare);
}

bool TmacroCall::setVar(const QString &varName, const QString &value)
{
    QString bare;
    TvarList &ns = space(varName, bare);
    return ns.setVar(bare, value);
}

QString TmacroCall::expand(const QString &text, bool removeQuotings)
{
    return expandInRun(md, text, removeQuotings);
}
