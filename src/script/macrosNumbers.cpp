// Arithmetic, rounding, random values, sizes and dates.
#include "script/calc.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "script/timeFormat.h"
#include "util/dateTime.h"
#include "util/format.h"

#include <QRandomGenerator>
#include <cfenv>
#include <cmath>

namespace {

void setNumber(TmacroCall &c, double v)
{
    if (!std::isfinite(v)) c.fail();
    c.result = formatMacroNumber(v);
}

void modMacro(TmacroCall &c)
{
    const qint64 a = c.intPar(0), b = c.intPar(1);
    // INT64_MIN % -1 traps in hardware; the remainder is 0 anyway.
    c.result = QString::number(b == 0 || b == -1 ? 0 : a % b);
}

void minMaxMacro(TmacroCall &c, bool wantMax)
{
    double best = c.floatPar(0);
    for (int k = 1; k < c.count(); ++k) {
        const double v = c.floatPar(k);
        if (wantMax ? v > best : v < best) best = v;
    }
    setNumber(c, best);
}

void roundMacro(TmacroCall &c)
{
    const double v = c.floatPar(0);
    const qint64 decimals = c.count() > 1 && !c.par(1).isEmpty() ? c.intPar(1) : 0;
    if (decimals > 300 || decimals < -300) {
        setNumber(c, decimals > 0 ? v : 0);
        return;
    }
    const double scale = std::pow(10.0, double(decimals));
    const double scaled = v * scale;
    if (!std::isfinite(scaled)) { // more decimals than a double holds
        setNumber(c, v);
        return;
    }
    // Halves go to the even neighbour (the default rounding mode).
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(scaled) / scale;
    std::fesetround(saved);
    setNumber(c, r);
}

void randomNumberMacro(TmacroCall &c)
{
    qint64 low = 0, high;
    if (c.count() >= 2) {
        low = c.intPar(0);
        high = c.intPar(1);
    } else {
        high = c.intPar(0);
    }
    if (low > high) std::swap(low, high);
    // The span may exceed qint64: draw an unsigned offset.
    const quint64 span = quint64(high) - quint64(low);
    const quint64 off = span == ~quint64(0)
                            ? QRandomGenerator::global()->generate64()
                            : QRandomGenerator::global()->bounded(quint64(0), span + 1);
    c.result = QString::number(qint64(quint64(low) + off));
}

void timeMacro(TmacroCall &c)
{
    double when = now();
    if (c.hasNamed(QStringLiteral("when"))) {
        const auto w = parseMacroFloat(c.named(QStringLiteral("when")));
        if (!w) c.fail();
        when = *w;
    }
    if (c.hasNamed(QStringLiteral("offset"))) {
        const auto o = parseMacroFloat(c.named(QStringLiteral("offset")));
        if (!o) c.fail();
        when += *o;
    }
    const QString format = c.named(QStringLiteral("format"), QStringLiteral("c"));
    if (format == QLatin1String("y")) {
        setNumber(c, when);
        return;
    }
    // Beyond year 9999 Qt's dates stop being meaningful.
    if (!(when > -693593 && when < 2958466)) c.fail();
    c.result = formatMacroTime(format.isEmpty() ? QStringLiteral("c") : format, fromDateTime(when));
}

} // namespace

void registerNumberMacros(TmacroRegistry &r)
{
    r.add(QStringLiteral("add"), 2,
          [](TmacroCall &c) { setNumber(c, c.floatPar(0) + c.floatPar(1)); });
    r.add(QStringLiteral("sub"), 2,
          [](TmacroCall &c) { setNumber(c, c.floatPar(0) - c.floatPar(1)); });
    r.add(QStringLiteral("mul"), 2,
          [](TmacroCall &c) { setNumber(c, c.floatPar(0) * c.floatPar(1)); });
    r.add(QStringLiteral("div"), 2, [](TmacroCall &c) {
        const double a = c.floatPar(0), b = c.floatPar(1);
        setNumber(c, b == 0 ? 0 : a / b);
    });
    r.add(QStringLiteral("mod"), 2, modMacro);
    r.add(QStringLiteral("min"), 2, [](TmacroCall &c) { minMaxMacro(c, false); });
    r.add(QStringLiteral("max"), 2, [](TmacroCall &c) { minMaxMacro(c, true); });
    r.add(QStringLiteral("abs"), 1, [](TmacroCall &c) { setNumber(c, std::fabs(c.floatPar(0))); });
    r.add(QStringLiteral("round"), 1, roundMacro);
    r.add(QStringLiteral("calc"), 1, [](TmacroCall &c) {
        const auto v = calcExpression(c.par(0));
        if (!v) c.fail();
        setNumber(c, *v);
    });
    r.add(QStringLiteral("smart size"), 1,
          [](TmacroCall &c) { c.result = smartSize(c.intPar(0)); });
    r.add(QStringLiteral("random"), 1, [](TmacroCall &c) {
        c.result = c.par(int(QRandomGenerator::global()->bounded(qint64(c.count()))));
    });
    r.add(QStringLiteral("random number"), 1, randomNumberMacro);
    r.add(QStringLiteral("time"), 0, timeMacro);
}
