// A run set up once for many prepared texts must give, text after text,
// what runPreparedText gives each of them on its own: its symbols are looked
// up once, but the table's values, the registry's answers and the macros'
// effects must show exactly as before.
#include "script/macroRegistry.h"
#include "script/preparedText.h"
#include "scriptTestTools.h"
#include "tpl/mainTemplate.h"

#include <gtest/gtest.h>

namespace {

// Counts the calls of the counting symbol, per connection.
class TcountingConn : public TtestConn
{
public:
    int counted = 0;
    QString item; // what the item symbol answers for the current run
};

void registerRunSymbols()
{
    static bool done = false;
    if (done) return;
    done = true;
    TmacroRegistry &r = TmacroRegistry::instance();
    r.addSymbol(QStringLiteral("%run-counted%"), [](TmacroData &md, QString &v) {
        auto *c = dynamic_cast<TcountingConn *>(md.cd);
        if (!c) return false;
        v = QString::number(++c->counted);
        return true;
    });
    r.addSymbol(QStringLiteral("%run-item%"), [](TmacroData &md, QString &v) {
        auto *c = dynamic_cast<TcountingConn *>(md.cd);
        if (!c || c->item.isEmpty()) return false; // stays as written
        v = c->item;
        return true;
    });
    r.addSymbol(QStringLiteral("%run-folder%"), [](TmacroData &md, QString &v) {
        auto *c = dynamic_cast<TcountingConn *>(md.cd);
        v = c ? c->item : QString();
        return true;
    });
}

// One item: the values of the table and what the item symbol says.
struct Titem
{
    QStringList values;
    QString item;
};

QStringList tableOf(const QStringList &names, const QStringList &values)
{
    QStringList t;
    for (qsizetype i = 0; i < names.size(); ++i)
        t << names[i] << values.value(i);
    return t;
}

// The texts run item after item, once with runPreparedText and once in one
// TpreparedRun; both sides see the same items and keep their own variables.
void expectSameRunsWith(const QStringList &texts, const QStringList &names, const QList<Titem> &items,
                        const TtplPtr &tpl, TpreparedRun::Tnames tableNames)
{
    registerRunSymbols();
    TcountingConn alone, together;
    TmacroData a, b;
    a.cd = &alone;
    b.cd = &together;
    a.tpl = b.tpl = tpl;
    QString wantOut, gotOut;
    std::vector<std::unique_ptr<TpreparedText>> prepared;
    for (const QString &t : texts)
        prepared.push_back(std::make_unique<TpreparedText>(t));
    {
        TpreparedRun run(b, tableNames);
        for (const Titem &item : items) {
            alone.item = together.item = item.item;
            a.table = b.table = tableOf(names, item.values);
            for (const auto &p : prepared) {
                const bool want = runPreparedText(*p, a, wantOut);
                const bool got = run.run(*p, gotOut);
                EXPECT_EQ(got, want) << p->text().toStdString();
                EXPECT_EQ(gotOut, wantOut) << p->text().toStdString();
                EXPECT_EQ(together.counted, alone.counted) << p->text().toStdString();
                EXPECT_EQ(together.vars.value(QStringLiteral("n")), alone.vars.value(QStringLiteral("n")));
            }
        }
        EXPECT_TRUE(b.aliases) << "the run's aliases are set while it lives";
    }
    EXPECT_FALSE(b.aliases) << "and restored at its end";
}

// The same, with the run comparing the table's names at every run and with
// the names fixed (they stay here).
void expectSameRuns(const QStringList &texts, const QStringList &names, const QList<Titem> &items,
                    const TtplPtr &tpl)
{
    for (const TpreparedRun::Tnames mode : {TpreparedRun::NAMES_MAY_CHANGE, TpreparedRun::NAMES_FIXED}) {
        SCOPED_TRACE(mode == TpreparedRun::NAMES_FIXED ? "names fixed" : "names compared");
        expectSameRunsWith(texts, names, items, tpl, mode);
    }
}

// A connection and macro data for one run, the run's symbols registered.
struct TrunSetup
{
    TcountingConn conn;
    TmacroData md;
    TrunSetup()
    {
        registerRunSymbols();
        md.cd = &conn;
        md.tpl = std::make_shared<Ttpl>();
    }
};

} // namespace

TEST(PreparedRun, ItemsExpandAsTheyDoOneByOne)
{
    setDefaultTemplateText(QStringLiteral("[sym-x]\nX(%name%)\n"));
    // An alias named like a macro takes its place, in the run as outside it.
    const TtplPtr tpl = std::make_shared<Ttpl>(
        QStringLiteral("[special:alias]\nupper=lower|$1\n[sec]\nS:%name%\n"));
    const QStringList texts = {
        // Table names ignore case; the last pair of a name wins.
        QStringLiteral("<%name%|%NAME%|%Name%|%dup%>"),
        // Values holding braces or percent signs take the general way.
        QStringLiteral("[%value%][%value%]{.upper|%value%.}"),
        QStringLiteral("{%value%}%name%"),
        // The main template's strings, the registry, what is nowhere.
        QStringLiteral("%sym-x%|%sym-none%|%run-item%|%unknown%|%unknown-folder-x%|%RUN-ITEM%"),
        // A symbol met again keeps its value, unless a value ran macros.
        QStringLiteral("%run-counted% %run-counted% %value% %run-counted%"),
        // A "folder" value from outside the table is quoted, never run.
        QStringLiteral("[%run-folder%]{.upper|%run-folder%.}"),
        // Macros and variables between runs.
        QStringLiteral("{.inc|n.}{.^n.} {.$sec.} {.if|%run-item%|yes|no.} {.upper|%name%.}"),
        // Pure macros standing alone: the same text gives the same result,
        // but a result holding a symbol or a macro is expanded every time.
        QStringLiteral("{.encode html|%name%.}|{.encode html|%dup%.}|{.encode html|<b>.}"),
        QStringLiteral("{.base64decode|JW5hbWUl.}|{.base64decode|ey5sb3dlcnwlbmFtZSUufQ==.}"),
        QStringLiteral("{.encode html|x.}{.break.}{.encode html|x.}%name%"),
        QStringLiteral("{.break.}%name%"),
        QStringLiteral("%name%{.upper|never closed"),
    };
    const QStringList names = {QStringLiteral("%name%"), QStringLiteral("%value%"), QStringLiteral("%dup%"),
                               QStringLiteral("%DUP%")};
    const QList<Titem> items = {
        {{QStringLiteral("one"), QStringLiteral("plain"), QStringLiteral("first"), QStringLiteral("last")},
         QStringLiteral("it")},
        {{QStringLiteral("two"), QStringLiteral("{.upper|x.}"), QString(), QString()}, QString()},
        {{QStringLiteral("3"), QStringLiteral("%name% and %run-counted%"), QString(), QString()},
         QStringLiteral("{.upper|folder.}")},
        {{QStringLiteral("{:q:}"), QStringLiteral("}"), QString(), QString()}, QStringLiteral("%name%")},
        {{QString(), QStringLiteral("100%"), QString(), QString()}, QStringLiteral("a|b")},
    };
    expectSameRuns(texts, names, items, tpl);
    setDefaultTemplateText(QString());
}

TEST(PreparedRun, ChangedNamesAndNewSymbolsAreLookedUpAgain)
{
    TrunSetup setup;
    TmacroData &md = setup.md;
    const TpreparedText text(QStringLiteral("%a%|%b%|%run-late%"));
    TpreparedRun run(md);
    QString out;
    md.table = QStringList{QStringLiteral("%a%"), QStringLiteral("1")};
    EXPECT_TRUE(run.run(text, out));
    EXPECT_EQ(out, QStringLiteral("1|%b%|%run-late%"));
    // Another table of the same size: its names are not those seen before.
    md.table = QStringList{QStringLiteral("%b%"), QStringLiteral("2")};
    TmacroRegistry::instance().addSymbol(QStringLiteral("%run-late%"), [](TmacroData &, QString &v) {
        v = QStringLiteral("late");
        return true;
    });
    out.clear();
    EXPECT_TRUE(run.run(text, out));
    EXPECT_EQ(out, QStringLiteral("%a%|2|late"));
    // An equal text prepared again (another object) runs the same.
    const TpreparedText again(QStringLiteral("%a%|%b%|%run-late%"));
    out.clear();
    md.table = QStringList{QStringLiteral("%A%"), QStringLiteral("3"), QStringLiteral("%b%"), QStringLiteral("4")};
    EXPECT_TRUE(run.run(again, out));
    EXPECT_EQ(out, QStringLiteral("3|4|late"));
}

TEST(PreparedRun, FixedNamesStillSeeNewSymbolsAndNewValues)
{
    TrunSetup setup;
    TmacroData &md = setup.md;
    const TpreparedText text(QStringLiteral("%a%|%run-fixed-late%"));
    TpreparedRun run(md, TpreparedRun::NAMES_FIXED);
    QString out;
    md.table = QStringList{QStringLiteral("%a%"), QStringLiteral("1")};
    EXPECT_TRUE(run.run(text, out));
    EXPECT_EQ(out, QStringLiteral("1|%run-fixed-late%"));
    TmacroRegistry::instance().addSymbol(QStringLiteral("%run-fixed-late%"), [](TmacroData &, QString &v) {
        v = QStringLiteral("late");
        return true;
    });
    md.table = QStringList{QStringLiteral("%a%"), QStringLiteral("2")};
    out.clear();
    EXPECT_TRUE(run.run(text, out));
    EXPECT_EQ(out, QStringLiteral("2|late"));
}

TEST(PreparedRun, MacrosOfEveryLengthItemAfterItem)
{
    // The macros of items change from one item to the next, to a text of the
    // same length or another one, back to an earlier one, two in one text:
    // each item must still get its own macros' results.
    const TtplPtr tpl = std::make_shared<Ttpl>();
    const QStringList texts = {
        QStringLiteral("<{.encode html|%name%.}>"),
        QStringLiteral("{.encode html|%value%.}-{.encode html|%name%.}"),
    };
    const QStringList names = {QStringLiteral("%name%"), QStringLiteral("%value%")};
    const QStringList pool = {QStringLiteral("ab"), QStringLiteral("cd"), QStringLiteral("a&b"), QString(),
                              QStringLiteral("a much longer name & more"), QStringLiteral("<"),
                              QStringLiteral("ab")};
    QList<Titem> items;
    for (int i = 0; i < 60; ++i)
        items.append({{pool[(i * 5) % pool.size()], pool[(i / 3) % pool.size()]}, QString()});
    expectSameRuns(texts, names, items, tpl);
}
