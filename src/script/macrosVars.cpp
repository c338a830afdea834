// Variables, tables, counters, sections, truth operators and comparisons.
#include "script/macroEngine.h"
#include "script/macroLib.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "tpl/cachedTpls.h"
#include "util/asciiCase.h"

#include <limits>

namespace {

void setMacro(TmacroCall &c)
{
    QString value;
    if (const auto var = c.namedRaw(QStringLiteral("var"))) {
        value = c.getVar(var->trimmed());
    } else if (c.count() > 1) {
        // Parameter 1 is the value unless it is one of the named options.
        const QString p1 = c.raw(1);
        const bool option =
            c.looksNamed(1) && (startsWithText(p1, u"mode=") || startsWithText(p1, u"var="));
        if (!option) value = macroDequote(p1);
    }
    const QString mode = c.named(QStringLiteral("mode")).toLower();
    if (mode == QLatin1String("append"))
        value = c.getVar(c.par(0)) + value;
    else if (mode == QLatin1String("prepend"))
        value = value + c.getVar(c.par(0));
    c.result = c.setVar(c.par(0), value) ? QStringLiteral(" ") : QString();
}

void incMacro(TmacroCall &c, int sign)
{
    qint64 amount = 1;
    if (c.count() > 1 && !c.par(1).isEmpty()) amount = c.intPar(1);
    const qint64 old = parseMacroInt(c.getVar(c.par(0))).value_or(0);
    qint64 v;
    if (sign > 0 ? __builtin_add_overflow(old, amount, &v)
                 : __builtin_sub_overflow(old, amount, &v))
        c.fail();
    c.setVar(c.par(0), QString::number(v));
    c.result.clear();
}

void countMacro(TmacroCall &c)
{
    if (!c.md.cd) {
        c.setCannotBeUsedHere();
        return;
    }
    qint64 &n = c.md.cd->tplCounters[asciiLower(c.par(0))];
    c.result = QString::number(n);
    ++n;
}

void varDomainMacro(TmacroCall &c)
{
    QString prefix;
    const TvarList &ns = c.space(c.par(0), prefix);
    const bool values = sameText(c.named(QStringLiteral("get")), u"values");
    const QString sep = c.namedRaw(QStringLiteral("separator")).value_or(QStringLiteral("|"));
    QStringList out;
    for (const auto &e : ns.lines().entries())
        if (startsWithText(e.name, prefix)) out << (values ? e.value : e.name);
    c.result = out.join(sep);
}

void setTableMacro(TmacroCall &c)
{
    QString name;
    TvarList &ns = c.space(c.par(0), name);
    const QString line = c.par(1);
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    const QString key = eq < 0 ? line : line.left(eq);
    const QString value = eq < 0 ? QString() : macroDequote(line.mid(eq + 1));
    const QString old = ns.value(name);
    ns.setValueKeepTable(name, old.isEmpty() ? line : old + QLatin1String("\r\n") + line);
    TvarTable t = ns.table(name);
    if (!t) {
        t = std::make_shared<TnameValueList>();
        ns.setTable(name, t);
    }
    t->set(key, value);
    c.result.clear();
}

void lengthMacro(TmacroCall &c)
{
    const auto var = c.namedRaw(QStringLiteral("var"));
    c.result = QString::number(var ? c.getVar(var->trimmed()).size() : c.raw(0).size());
}

void andMacro(TmacroCall &c)
{
    for (int k = 0; k < c.count(); ++k)
        if (!macroIsTrue(c.par(k)) || k == c.count() - 1) {
            c.result = c.par(k);
            return;
        }
}

void orMacro(TmacroCall &c)
{
    for (int k = 0; k < c.count(); ++k)
        if (macroIsTrue(c.par(k)) || k == c.count() - 1) {
            c.result = c.par(k);
            return;
        }
}

} // namespace

TtplPtr templateFromFile(const QString &path)
{
    QString p = path.trimmed();
    p.replace(QLatin1Char('\\'), QLatin1Char('/')); // disk paths are written with "\" in scripts
    return cachedTpls().getTplFor(p);
}

void sectionMacro(TmacroCall &c, const QString &sectionName, int fileIdx)
{
    if (!c.md.tpl) {
        c.setCannotBeUsedHere();
        return;
    }
    const auto file = c.parOrNamed(fileIdx, QStringLiteral("file"));
    if (file && !file->isEmpty()) {
        const TtplPtr t = templateFromFile(*file);
        const QString txt = t ? t->getTxt(sectionName) : QString();
        const bool isPath = file->contains(QLatin1Char('\\')) || file->contains(QLatin1Char('/'));
        c.result = isPath ? macroQuote(txt) : txt;
        return;
    }
    qint64 back = 0;
    if (c.hasNamed(QStringLiteral("back")))
        back = parseMacroInt(c.named(QStringLiteral("back"))).value_or(0);
    const Ttpl *t = c.md.tpl.get();
    for (; t && back > 0; --back)
        t = t->over().get();
    c.result = t ? t->getTxt(sectionName) : QString();
}

QString fromTable(TmacroCall &c, const QString &tableName, const QString &key)
{
    QString name;
    TvarList &ns = c.space(tableName, name);
    if (!ns.contains(name) && name.startsWith(QLatin1Char('$'))) {
        const QString txt = c.md.tpl ? c.md.tpl->getTxt(name.mid(1)) : QString();
        if (txt.isEmpty()) return QString();
        ns.setVar(name, txt);
    }
    if (!ns.contains(name)) return QString();
    TvarTable t = ns.table(name);
    if (!t) {
        t = tableFromText(ns.value(name));
        ns.setTable(name, t);
    }
    QString v = t->value(key);
    const QString lt = tableName.trimmed();
    if (sameText(lt, u"ini") || sameText(lt, u"#ini")) {
        if (v == QLatin1String("no")) v.clear();
        if (sameText(lt, u"ini") && macroSettings().addToLog)
            macroSettings().addToLog(
                QStringLiteral(
                    "WARNING, deprecated macro: from table|ini - Use instead: from table|#ini"),
                QStringLiteral("red"));
    }
    return v;
}

void registerVarMacros(TmacroRegistry &r)
{
    r.add(QStringLiteral("set"), 1, setMacro);
    r.add(QStringLiteral("inc"), 1, [](TmacroCall &c) { incMacro(c, 1); });
    r.add(QStringLiteral("dec"), 1, [](TmacroCall &c) { incMacro(c, -1); });
    r.add(QStringLiteral("call"), 1,
          [](TmacroCall &c) { c.result = replaceDollarParams(c.getVar(c.par(0)), c.params, 1); });
    r.add(QStringLiteral("count"), 0, countMacro);
    r.add(QStringLiteral("var domain"), 1, varDomainMacro);
    r.add(QStringLiteral("set table"), 2, setTableMacro);
    r.add(QStringLiteral("from table"), 2,
          [](TmacroCall &c) { c.result = fromTable(c, c.par(0), c.par(1)); });
    r.add(QStringLiteral("length"), 1, lengthMacro);
    r.add(QStringLiteral("section"), 1, [](TmacroCall &c) { sectionMacro(c, c.par(0), 1); });

    r.add(QStringLiteral("not"), 1,
          [](TmacroCall &c) { c.result = macroBool(!macroIsTrue(c.par(0))); });
    r.add(QStringLiteral("and"), 2, andMacro);
    r.add(QStringLiteral("or"), 2, orMacro);
    r.add(QStringLiteral("xor"), 2, [](TmacroCall &c) {
        c.result = macroBool(macroIsTrue(c.par(0)) != macroIsTrue(c.par(1)));
    });
    for (const char *op : {"=", ">", ">=", "<", "<=", "<>", "!="}) {
        const QString o = QLatin1String(op);
        r.add(o, 2, [o](TmacroCall &c) {
            c.result = macroBool(compareMacroTexts(c.par(0), c.par(1), o));
        });
    }
}
