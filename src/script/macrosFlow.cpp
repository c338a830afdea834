// Conditions, branches, loops and early exit.
#include "script/macroEngine.h"
#include "script/macroLib.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "util/asciiCase.h"

#include <QElapsedTimer>

namespace {

// Loops stop at this many rounds whatever their bounds: a runaway loop must
// not hold the one thread forever.
constexpr qint64 kMaxLoopRounds = 10'000'000;

// Takes one round from the run's loop budget; false when none is left.
bool nextRound(TmacroCall &c)
{
    return c.md.budget.loopRoundsLeft-- > 0;
}

void appendBounded(QString &out, const QString &piece)
{
    if (out.size() + piece.size() > macroSettings().maxResultSize)
        throw TmacroAbort("result too large");
    out += piece;
}

void ifMacro(TmacroCall &c, bool negate)
{
    const QString cond =
        c.hasNamed(QStringLiteral("var")) ? c.getVar(c.named(QStringLiteral("var"))) : c.par(0);
    const bool yes = macroIsTrue(cond) != negate;
    c.result = macroDequote(yes ? c.raw(1) : c.raw(2));
}

void switchMacro(TmacroCall &c)
{
    const QString value = c.par(0);
    QString sep = c.raw(1);
    if (sep.isEmpty()) sep = QStringLiteral(" ");
    int k = 2;
    for (; k + 1 < c.count(); k += 2) {
        for (const QString &piece : c.par(k).split(sep))
            if (sameText(piece, value)) {
                c.result = macroDequote(c.raw(k + 1));
                return;
            }
    }
    c.result = k < c.count() ? macroDequote(c.raw(k)) : QString();
}

void forMacro(TmacroCall &c)
{
    const auto from = parseMacroInt(c.par(1)), to = parseMacroInt(c.par(2));
    if (!from || !to) return; // the illegal-parameters text stays
    // An integer in the fourth place is the step even when no body follows it:
    // the body is then empty.
    qint64 step = 1;
    int bodyIdx = 3;
    if (const auto s = parseMacroInt(c.par(3))) {
        step = *s;
        bodyIdx = 4;
    }
    c.result.clear();
    if (step == 0) return;
    if (*to < *from && step > 0) step = -step;
    // Exact round count without overflow: (to - from) / step + 1.
    const __int128 rounds = (__int128(*to) - *from) / step + 1;
    if (rounds <= 0) return;
    const QString body = macroDequote(c.raw(bodyIdx));
    const QString var = c.par(0);
    QString out;
    __int128 v = *from;
    for (__int128 i = 0; i < rounds && i < kMaxLoopRounds && !c.md.breaking && nextRound(c);
         ++i, v += step) {
        c.setVar(var, QString::number(qint64(v)));
        appendBounded(out, c.expand(body));
    }
    c.result = out;
}

void forEachMacro(TmacroCall &c)
{
    const QString var = c.par(0);
    const QString body = macroDequote(c.raw(c.count() - 1));
    QString out;
    for (int k = 1; k < c.count() - 1 && !c.md.breaking && nextRound(c); ++k) {
        c.setVar(var, c.par(k));
        appendBounded(out, c.expand(body));
    }
    c.result = out;
}

void forLineMacro(TmacroCall &c)
{
    const auto varName = c.namedRaw(QStringLiteral("var"));
    if (!varName) return;
    QString text = c.getVar(varName->trimmed());
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QString body = macroDequote(c.raw(c.count() - 1));
    QString out;
    if (!text.isEmpty()) {
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            if (c.md.breaking || !nextRound(c)) break;
            c.setVar(QStringLiteral("line"), line);
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            // Cleared on lines without "=" so no value leaks from the line before.
            c.setVar(QStringLiteral("line-key"), eq < 0 ? QString() : line.left(eq));
            c.setVar(QStringLiteral("line-value"), eq < 0 ? QString() : line.mid(eq + 1));
            appendBounded(out, c.expand(body));
        }
    }
    c.result = out;
}

void whileMacro(TmacroCall &c)
{
    const QString p = c.par(0);
    c.result.clear();
    if (p.isEmpty()) return;
    const bool isMacro = containsMacroMarker(p);
    const QString cond = isMacro ? macroDequote(p) : p;
    const QString body = macroDequote(c.raw(1));
    double limit = 1;
    if (c.hasNamed(QStringLiteral("timeout"))) {
        const auto t = parseMacroFloat(c.named(QStringLiteral("timeout")));
        if (!t) c.fail();
        limit = *t;
    }
    QElapsedTimer timer;
    timer.start();
    QString out;
    bool ran = false;
    for (qint64 round = 0; round < kMaxLoopRounds && !c.md.breaking && nextRound(c); ++round) {
        if (limit > 0 && timer.elapsed() > limit * 1000) break;
        const QString v = isMacro ? c.expand(cond) : c.getVar(cond);
        if (!macroIsTrue(v.trimmed())) break;
        appendBounded(out, c.expand(body));
        ran = true;
    }
    if (!ran) out += macroDequote(c.named(QStringLiteral("else")));
    if (const auto var = c.namedRaw(QStringLiteral("var"))) {
        c.setVar(var->trimmed(), out);
        return;
    }
    c.result = out;
}

void breakMacro(TmacroCall &c)
{
    if (c.hasNamed(QStringLiteral("if")) && !macroIsTrue(c.named(QStringLiteral("if")))) {
        c.result.clear();
        return;
    }
    c.result = c.named(QStringLiteral("result"));
    c.md.breaking = true;
}

void afterTheListMacro(TmacroCall &c)
{
    if (c.md.afterTheList)
        c.result = macroDequote(c.raw(0));
    else { // evaluated later, when the list is done
        c.result = QLatin1String("{.") + c.fullText + QLatin1String(".}");
        c.md.deferredToPage = true;
    }
}

} // namespace

void registerFlowMacros(TmacroRegistry &r)
{
    r.add(QStringLiteral("comment"), 0, [](TmacroCall &c) { c.result.clear(); });
    r.add(QStringLiteral("if"), 2, [](TmacroCall &c) { ifMacro(c, false); });
    r.add(QStringLiteral("if not"), 2, [](TmacroCall &c) { ifMacro(c, true); });
    r.add(QStringLiteral("switch"), 2, switchMacro);
    r.add(QStringLiteral("for"), 4, forMacro);
    r.add(QStringLiteral("for each"), 3, forEachMacro);
    r.add(QStringLiteral("for line"), 2, forLineMacro);
    r.add(QStringLiteral("while"), 2, whileMacro);
    r.add(QStringLiteral("break"), 0, breakMacro);
    r.add(QStringLiteral("after the list"), 1, afterTheListMacro);
}
