// Feeds arbitrary text to the macro language, without a connection behind
// it. The text is the template and the page at once; what follows its first
// NUL, split at further NULs, gives the values of the symbols. Besides
// crashes and sanitizer reports it checks that
// - a prepared text expands exactly as the parser expands a copy of it
//   (same result, same calls in the same order, same error),
// - a value from the request stays inert however it is written.
// Only the language's own macros are registered here: none of them writes a
// file, starts a program or goes to the network; what they read of files
// is relative to a scratch folder. Loops share a small budget of rounds.

#include "fuzzTools.h"

#include "script/macroEngine.h"
#include "script/macroParser.h"
#include "script/macroText.h"
#include "script/preparedText.h"
#include "tpl/mainTemplate.h"
#include "tpl/tpl.h"
#include "util/service.h"

namespace {

// Answers that depend on what was asked before, so that a call skipped,
// repeated or reordered changes the result. Values holding symbols nest
// without end in sight (each symbol at most once on the stack, but every
// one of them within every other): after a while the answers stop nesting.
struct Tscripted
{
    static constexpr int nestingCalls = 2000;
    QStringList calls;
    QStringList symbolValues;
    int symbolCalls = 0;

    TmacroCallback callback()
    {
        return [this](const QString &full, const QStringList &params, bool isSymbol) -> QString {
            calls << (isSymbol ? full : QStringLiteral("M:") + params.join(QChar(0xA6)));
            if (calls.size() > nestingCalls)
                return isSymbol ? full : QStringLiteral("()");
            if (isSymbol) {
                if (symbolValues.isEmpty())
                    return full; // left as written
                return symbolValues[symbolCalls++ % symbolValues.size()];
            }
            if (params.value(0) == QLatin1String("nest"))
                return QStringLiteral("{.inner.}%b%");
            return QStringLiteral("(") + params.join(QLatin1Char(',')) + QStringLiteral(")");
        };
    }
};

struct Texpansion
{
    QString text;
    QStringList calls;
    bool threw = false;

    bool operator==(const Texpansion &) const = default;
    QString show() const
    {
        return QStringLiteral("%1\ncalls: %2\nthrew: %3").arg(text, calls.join(u'\n'), QString::number(threw));
    }
};

void checkPreparedMatchesParser(const QString &text, const QStringList &values)
{
    Texpansion parsed, prepared;
    {
        Tscripted s;
        s.symbolValues = values;
        parsed.text = text;
        TexpansionBudget budget;
        try {
            parseAndExpand(parsed.text, s.callback(), false, &budget);
        } catch (const EtplError &) {
            parsed.threw = true;
        }
        parsed.calls = s.calls;
    }
    {
        Tscripted s;
        s.symbolValues = values;
        const TpreparedText p(text);
        TexpansionBudget budget;
        try {
            p.expandInto(prepared.text, s.callback(), &budget);
        } catch (const EtplError &) {
            prepared.threw = true;
        }
        prepared.calls = s.calls;
    }
    fuzzCheck(prepared == parsed, "a prepared text expands as the parser does",
              QStringLiteral("parser:\n%1\nprepared:\n%2").arg(parsed.show(), prepared.show()));
}

class TfuzzConn : public TmacroConn
{
public:
    QHash<QString, QString> query;
    QString urlVar(const QString &name) const override { return disarmMacros(query.value(name)); }
};

TtplPtr baseTemplate()
{
    static const TtplPtr t = std::make_shared<Ttpl>(QStringLiteral(
        "[special:strings]\nhello=Hello\n[special:alias]\ntwice=$1$1\n[greet]\n{.!hello.}, {.^who.}\n"));
    return t;
}

QString expand(const QString &text, const QString &queryValue, const TtplPtr &tpl)
{
    globalVars().clear();
    TfuzzConn conn;
    conn.query.insert(QStringLiteral("v"), queryValue);
    TmacroData md;
    md.cd = &conn;
    md.tpl = tpl;
    md.table = {QStringLiteral("%folder%"), QStringLiteral("/a b/"), QStringLiteral("%item-name%"),
                QStringLiteral("{.x.}")};
    md.budget.loopRoundsLeft = 5000;
    QString t = text;
    runMacroText(t, md, true);
    return t;
}

void setUp()
{
    static Towned<Ttemplates> templates;
    static const bool once = [] {
        scratchFolder();
        // Nothing grows beyond what a page could hold.
        macroSettings().maxResultSize = 1 << 20;
        macroSettings().logEnabled = false;
        return true;
    }();
    (void)once;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    setUp();
    const QString input = fuzzText(data, size);
    const qsizetype nul = input.indexOf(QChar(0));
    const QString text = nul < 0 ? input : input.left(nul);
    const QStringList values = nul < 0 ? QStringList() : input.mid(nul + 1).split(QChar(0));

    checkPreparedMatchesParser(text, values);

    // The text as a template of its own over a small one, and as its page.
    const auto tpl = std::make_shared<Ttpl>(text, baseTemplate());
    expand(text, values.value(0), tpl);

    // A request value comes out as the request sent it, disarmed.
    TfuzzConn conn;
    conn.query.insert(QStringLiteral("v"), text);
    const QString inert = expand(QStringLiteral("{.?v.}"), text, baseTemplate());
    fuzzCheck(inert == conn.urlVar(QStringLiteral("v")), "a request value stays inert",
              QStringLiteral("came out as:\n%1").arg(inert));
    return 0;
}
