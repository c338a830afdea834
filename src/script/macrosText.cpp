// Text extraction, replacement, masks and regular expressions.
#include "script/macroEngine.h"
#include "script/macroLib.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "util/asciiCase.h"
#include "util/masks.h"
#include "util/regex.h"

#include <QLocale>

namespace {

Qt::CaseSensitivity caseOf(const TmacroCall &c)
{
    return macroIsTrue(c.named(QStringLiteral("case"))) ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

// Stores into the variable named by "var" when given (result empty), else returns.
void resultOrVar(TmacroCall &c, const QString &value)
{
    if (const auto var = c.namedRaw(QStringLiteral("var"))) {
        c.setVar(var->trimmed(), value);
        c.result.clear();
    } else {
        c.result = value;
    }
}

void repeatMacro(TmacroCall &c)
{
    const qint64 n = parseMacroInt(c.par(0)).value_or(1);
    const QString text = macroDequote(c.raw(1));
    if (n <= 0 || text.isEmpty()) {
        c.result.clear();
        return;
    }
    if (n > macroSettings().maxResultSize / text.size()) c.fail();
    c.result = text.repeated(n);
}

void substringMacro(TmacroCall &c)
{
    int include = 1;
    const QString inc = c.named(QStringLiteral("include"));
    if (const auto n = parseMacroInt(inc))
        include = int(*n);
    else if (sameText(inc, u"none"))
        include = 0;
    else if (sameText(inc, u"both") || inc == QLatin1String("1+2"))
        include = 3;
    const Qt::CaseSensitivity cs = caseOf(c);
    const QString startMark = c.raw(0), endMark = c.raw(1);
    const QString text = macroDequote(c.raw(2));
    qsizetype start = 0;
    if (!startMark.isEmpty()) {
        start = text.indexOf(startMark, 0, cs);
        if (start < 0) {
            c.result.clear();
            return;
        }
    }
    qsizetype end = endMark.isEmpty() ? -1 : text.indexOf(endMark, start + 1, cs);
    const bool endFound = end >= 0;
    if (!endFound) end = text.size();
    if (!(include & 1)) start += startMark.size();
    if ((include & 2) && endFound) end += endMark.size();
    c.result = start < end ? macroQuote(text.mid(start, end - start)) : QString();
}

void cutMacro(TmacroCall &c)
{
    const auto var = c.namedRaw(QStringLiteral("var"));
    const QString text = var ? c.getVar(var->trimmed())
                             : c.parOrNamed(2, QStringLiteral("what")).value_or(QString());
    const qint64 len = text.size();
    // Bounded inputs keep the arithmetic below far from overflow.
    const auto bounded = [](qint64 v) { return qBound(-(qint64(1) << 40), v, qint64(1) << 40); };
    qint64 from = bounded(
        parseMacroInt(c.parOrNamed(0, QStringLiteral("from")).value_or(QString())).value_or(1));
    if (from < 0) from = len + from + 1;
    qint64 to;
    if (c.hasNamed(QStringLiteral("to"))) {
        to = bounded(parseMacroInt(c.named(QStringLiteral("to"))).value_or(0));
        if (to <= 0) // counts from the end
            to += len;
    } else {
        const qint64 size = bounded(
            parseMacroInt(c.parOrNamed(1, QStringLiteral("size")).value_or(QString())).value_or(0));
        if (size == 0)
            to = len;
        else if (size < 0)
            to = len + size;
        else
            to = from + size - 1;
    }
    from = qBound<qint64>(1, from, len + 1);
    to = qBound<qint64>(0, to, len);
    const QString res = from <= to ? text.mid(from - 1, to - from + 1) : QString();
    if (const auto rem = c.namedRaw(QStringLiteral("remainder"))) {
        const QString before = text.left(from - 1);
        const QString after = to >= from ? text.mid(to) : text.mid(from - 1);
        c.setVar(rem->trimmed(), before + after);
    }
    resultOrVar(c, res);
}

void replaceMacro(TmacroCall &c)
{
    const auto var = c.namedRaw(QStringLiteral("var"));
    QStringList pairs;
    for (const QString &p : c.params)
        if (!(var && startsWithText(p, u"var="))) pairs << p;
    QString text;
    if (var)
        text = c.getVar(var->trimmed());
    else if (!pairs.isEmpty())
        text = pairs.takeLast();
    for (qsizetype k = 0; k + 1 < pairs.size(); k += 2)
        if (!pairs[k].isEmpty()) text.replace(pairs[k], pairs[k + 1], Qt::CaseInsensitive);
    resultOrVar(c, text);
}

void posMacro(TmacroCall &c)
{
    const auto what = c.namedRaw(QStringLiteral("what"));
    const QString needle = what ? c.getVar(what->trimmed()) : c.par(0);
    const auto var = c.namedRaw(QStringLiteral("var"));
    const QString text = var ? c.getVar(var->trimmed()) : c.par(1);
    qint64 from = parseMacroInt(c.named(QStringLiteral("from"))).value_or(1);
    if (from < 1) from = 1;
    if (needle.isEmpty() || from > text.size()) {
        c.result = QStringLiteral("0");
        return;
    }
    c.result = QString::number(text.indexOf(needle, from - 1, caseOf(c)) + 1);
}

void countSubstringMacro(TmacroCall &c)
{
    const QString needle = c.raw(0), text = c.par(1);
    qint64 n = 0;
    if (!needle.isEmpty())
        for (qsizetype i = text.indexOf(needle); i >= 0;
             i = text.indexOf(needle, i + needle.size()))
            ++n;
    c.result = QString::number(n);
}

void regexpMacro(TmacroCall &c)
{
    const QString pattern = macroDequote(c.raw(0));
    const auto var = c.namedRaw(QStringLiteral("var"));
    const QString text = var ? c.getVar(var->trimmed()) : c.par(1);
    const QString mods =
        macroIsTrue(c.named(QStringLiteral("case"))) ? QStringLiteral("m") : QStringLiteral("mi");
    c.result.clear();
    QStringList groups;
    QString error;
    if (regexFind(text, pattern, mods, &groups, 1, &error) == 0 || !error.isEmpty()) {
        if (error.isEmpty() && c.hasNamed(QStringLiteral("replace")))
            resultOrVar(c, text); // nothing to replace: the text as it is
        return;
    }
    c.result = groups.size() > 1 ? groups[1] : groups.value(0);
    if (const auto sub = c.namedRaw(QStringLiteral("sub"))) {
        QString lines;
        for (qsizetype k = 0; k < groups.size(); ++k)
            lines += QString::number(k) + QLatin1Char('=') + groups[k] + QLatin1String("\r\n");
        c.setVar(sub->trimmed(), lines);
    }
    if (const auto repl = c.namedRaw(QStringLiteral("replace")))
        resultOrVar(c, regexReplace(text, pattern, *repl, mods));
}

qsizetype lastDelimiter(const QString &p)
{
    for (qsizetype i = p.size() - 1; i >= 0; --i)
        if (p[i] == QLatin1Char('\\') || p[i] == QLatin1Char('/') || p[i] == QLatin1Char(':'))
            return i;
    return -1;
}

void chrMacro(TmacroCall &c)
{
    QString out;
    for (int k = 0; k < c.count(); ++k) {
        const QString p = c.par(k);
        bool ok = false;
        const qint64 code = p.startsWith(QLatin1Char('x'), Qt::CaseInsensitive)
                                ? p.mid(1).toLongLong(&ok, 16)
                                : p.toLongLong(&ok, 10);
        if (!ok || code < 0 || code > 0x10FFFF) continue;
        const char32_t u = char32_t(code);
        out += QString::fromUcs4(&u, 1);
    }
    c.result = out;
}

// The raw text after the macro name's "|".
QString afterName(const TmacroCall &c)
{
    const qsizetype bar = c.fullText.indexOf(QLatin1Char('|'));
    return bar < 0 ? QString() : c.fullText.mid(bar + 1);
}

} // namespace

void registerTextMacros(TmacroRegistry &r)
{
    r.add(QStringLiteral("trim"), 1, [](TmacroCall &c) { c.result = c.par(0); });
    r.add(QStringLiteral("lower"), 1,
          [](TmacroCall &c) { c.result = QLocale().toLower(c.par(0)); });
    r.add(QStringLiteral("upper"), 1,
          [](TmacroCall &c) { c.result = QLocale().toUpper(c.par(0)); });
    r.add(QStringLiteral("repeat"), 2, repeatMacro);
    r.add(QStringLiteral("substring"), 3, substringMacro);
    r.add(QStringLiteral("cut"), 2, cutMacro);
    r.add(QStringLiteral("replace"), 3, replaceMacro);
    r.add(QStringLiteral("pos"), 2, posMacro);
    r.add(QStringLiteral("count substring"), 2, countSubstringMacro);
    r.add(QStringLiteral("match"), 2,
          [](TmacroCall &c) { c.result = macroBool(matchFileMask(c.par(0), c.par(1))); });
    r.add(QStringLiteral("match address"), 2,
          [](TmacroCall &c) { c.result = macroBool(matchAddressMask(c.par(0), c.par(1))); });
    r.add(QStringLiteral("regexp"), 2, regexpMacro);
    r.add(QStringLiteral("filename"), 1, [](TmacroCall &c) {
        const QString p = c.par(0);
        c.result = p.mid(lastDelimiter(p) + 1);
    });
    r.add(QStringLiteral("filepath"), 1, [](TmacroCall &c) {
        const QString p = c.par(0);
        c.result = p.left(lastDelimiter(p) + 1);
    });
    r.add(QStringLiteral("chr"), 1, chrMacro);
    r.add(QStringLiteral("no pipe"), 1, [](TmacroCall &c) {
        c.result = afterName(c).replace(QLatin1String("|"), QLatin1String("{:|:}"));
    });
    r.add(QStringLiteral("pipe"), 1, [](TmacroCall &c) {
        c.result = afterName(c).replace(QLatin1String("{:|:}"), QLatin1String("|"));
    });
    r.add(QStringLiteral("dequote"), 1, [](TmacroCall &c) { c.result = macroDequote(c.par(0)); });
    r.add(QStringLiteral("quote"), 1,
          [](TmacroCall &c) { c.result = macroQuote(c.expand(macroDequote(c.par(0)), true)); });
    r.add(QStringLiteral("force ansi"), 1, [](TmacroCall &c) { c.result = c.par(0); });
    r.add(QStringLiteral("maybe utf8"), 1, [](TmacroCall &c) { c.result = c.par(0); });
}
