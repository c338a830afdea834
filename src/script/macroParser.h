// Finds symbols (%name%) and macros ({.name|param.}) in a text and expands
// them innermost first through a callback. Knows nothing of their meaning.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <limits>
#include <stdexcept>

// Raised for unbalanced markers at the outermost level.
class EtplError : public std::runtime_error
{
public:
    EtplError(const QString &msg, const QString &code, int row, int col);
    QString msg;
    QString code; // up to 30 characters from the offending marker
    int row = 0;
    int col = 0;
    int pos = 0;
};

// fullText: the symbol with its percent signs, or the macro's inner text.
// params: empty for a symbol (isSymbol true); the pieces of a macro otherwise.
using TmacroCallback =
    std::function<QString(const QString &fullText, const QStringList &params, bool isSymbol)>;

// Bounds nesting across every expansion of one run: loops and sections start
// fresh expansions, so the per-call stack alone cannot stop re-entry.
struct TexpansionBudget
{
    int depth = 0;
    int maxDepth = 500;
    // Rounds left to every loop of the run together; each loop also stops
    // at its own cap. Unbounded unless the one who runs the text bounds it.
    qint64 loopRoundsLeft = std::numeric_limits<qint64>::max();
};

inline constexpr int kExpansionStackSize = 50;

// Expands text in place. May throw EtplError("unmatched marker").
void parseAndExpand(QString &text, const TmacroCallback &callback, bool removeQuotings,
                    TexpansionBudget *budget = nullptr);

// True when the text holds "{.", "{:", ".}", ":}" or "|".
bool containsMacroMarker(const QString &text);
// Index (0-based) of the first such marker at or after from, -1 when none.
qsizetype findMacroMarker(const QString &text, qsizetype from = 0);
