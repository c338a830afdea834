// The expansion machinery behind parseAndExpand and prepared texts; used
// only inside the script module.
#pragma once

#include "script/macroParser.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>

#include <utility>
#include <vector>

class TpreparedText;
class TpreparedValues;

namespace macroscan {

// A two-character marker ("{." "{:" ".}" ":}") starts at i.
bool markerAt(const QString &s, qsizetype i);
// Whether "{." "{:" or ".}" starts at i, by name.
bool quoteOpenAt(const QString &s, qsizetype i);
bool quoteCloseAt(const QString &s, qsizetype i);
bool macroOpenAt(const QString &s, qsizetype i);
bool macroCloseAt(const QString &s, qsizetype i);
// Whether the text holds "{.", "{:" or ".}".
bool mayHoldMacro(const QString &text);
// The next "%name%" at or after `from`: [start, end) are its bounds and
// `from` moves past what was read.
bool nextSymbol(const QString &text, qsizetype &from, qsizetype &start, qsizetype &end);
// Whether the text holds a "%name%" (a "%" alone, as in an encoded URL, is none).
bool mayHoldSymbol(const QString &text);
// Whether the whole text is one quoted region ("{:" ... ":}", nested quotes
// allowed), read as the macro pass reads it: such a text comes out of the
// macro pass as it went in.
bool whollyQuoted(const QString &text);

} // namespace macroscan

class Texpander
{
public:
    Texpander(const TmacroCallback &cb, TexpansionBudget &budget) : cb(cb), budget(budget) {}

    // Expands a text sitting at nesting level `level`. Throws EtplError.
    void expand(QString &text, int level);
    // Appends the expansion of a prepared text at the outermost level; the
    // values of its own symbols (and known macro results) come from
    // `source` when there is one.
    void expandPrepared(const TpreparedText &prepared, QString &out, TpreparedValues *source = nullptr);

private:
    struct TstackItem
    {
        qsizetype pos;
        int row;
        int col;
        bool quote;
    };

    // Holds one nesting level of the budget while it lives.
    class Tlevel
    {
    public:
        Tlevel(Texpander &e, int level);
        ~Tlevel();
        bool entered() const { return on; }

    private:
        Texpander &e;
        bool on = false;
    };

    const TmacroCallback &cb;
    TexpansionBudget &budget;
    // Expansion stack: one text per level. Most expansions go a few levels
    // deep: those need no allocation.
    QVarLengthArray<QString, 4> stack;

    bool onStack(QStringView s, int level) const;
    void expandNested(QString &result, const QString &what, int level);
    // Symbols met in one text, with the values they had.
    using Tseen = QVarLengthArray<std::pair<QString, QString>, 16>;
    // The value of a symbol met in a text: its callback's, expanded when it
    // holds macros or symbols. False when the symbol stays as written.
    bool symbolValue(QStringView symbol, QString &value, int level, Tseen &seen);
    void symbolPass(QString &text, int level);
    void macroPass(QString &text, int level);
    static void flushIfDone(const QList<TstackItem> &markers, QString &out, QString &cur);
    QString evalMacro(const QString &whole, int level);
    static bool splitPieces(const QString &inner, QStringList &pieces);
};
