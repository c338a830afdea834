// Helpers for running the macro language in tests.
#pragma once

#include "script/scriptLib.h"
#include "tpl/tpl.h"
#include "qtPrinters.h"

#include <QHash>
#include <ostream>

// A connection with settable query variables.
class TtestConn : public TmacroConn
{
public:
    QHash<QString, QString> query;
    QString urlVar(const QString &name) const override { return disarmMacros(query.value(name)); }
};

// Expands `text` as a page or script would, quote markers removed.
inline QString run(const QString &text, TmacroConn *cd = nullptr, TtplPtr tpl = nullptr,
                   const QStringList &table = {})
{
    TmacroData md;
    md.cd = cd;
    md.tpl = tpl ? tpl : std::make_shared<Ttpl>();
    md.table = table;
    QString t = text;
    runMacroText(t, md, true);
    return t;
}

inline QString illegal(const QString &name)
{
    return macroErrorText(name, QStringLiteral("not supported or illegal parameters"));
}

struct TioCase
{
    const char *in;
    const char *out;
};

// Runs each case on a fresh connection, so variables do not leak between rows.
#define EXPECT_EXPANSIONS(cases)                                                                   \
    for (const TioCase &tc : cases) {                                                              \
        TtestConn conn;                                                                            \
        EXPECT_EQ(run(QString::fromUtf8(tc.in), &conn), QString::fromUtf8(tc.out))                 \
            << "input: " << tc.in;                                                                 \
    }
