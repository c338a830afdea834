#include "script/macroParser.h"

#include <QList>
#include <vector>

EtplError::EtplError(const QString &m, const QString &c, int r, int cl)
    : std::runtime_error(m.toStdString()), msg(m), code(c), row(r), col(cl)
{
}

namespace {

const QLatin1StringView kMacroOpen("{.");
const QLatin1StringView kMacroClose(".}");
const QLatin1StringView kQuoteOpen("{:");
const QLatin1StringView kQuoteClose(":}");

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

bool isSymbolChar(QChar c)
{
    const char16_t u = c.unicode();
    return isAsciiLetter(c) || (u >= '0' && u <= '9') || u == '-' || u == '_';
}

bool at(const QString &s, qsizetype i, QLatin1StringView marker)
{
    const QChar *d = s.constData();
    return i + 1 < s.size() && d[i].unicode() == marker[0].unicode() && d[i + 1].unicode() == marker[1].unicode();
}

struct TstackItem
{
    qsizetype pos;
    int row;
    int col;
    bool quote;
};

class Texpander
{
public:
    Texpander(const TmacroCallback &cb, TexpansionBudget &budget) : cb(cb), budget(budget) {}

    // Expands a text sitting at nesting level `level`. Throws EtplError.
    void expand(QString &text, int level)
    {
        if (level >= kExpansionStackSize || budget.depth >= budget.maxDepth)
            return;
        ++budget.depth;
        struct Leave { int &d; ~Leave() { --d; } } leave{budget.depth};
        if (int(stack.size()) <= level)
            stack.resize(level + 1);
        symbolPass(text, level);
        macroPass(text, level);
    }

private:
    const TmacroCallback &cb;
    TexpansionBudget &budget;
    std::vector<QString> stack; // expansion stack: one text per level

    bool onStack(const QString &s, int level) const
    {
        for (int k = 0; k <= level && k < int(stack.size()); ++k)
            if (!stack[k].isEmpty() && stack[k].compare(s, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }

    // Expands a callback's result one level deeper; errors there are ignored.
    void expandNested(QString &result, const QString &what, int level)
    {
        stack[level] = what;
        try {
            expand(result, level + 1);
        } catch (const EtplError &) {
        }
        stack[level].clear();
    }

    void symbolPass(QString &text, int level)
    {
        qsizetype from = 0;
        while (from < text.size()) {
            const qsizetype i = text.indexOf(QLatin1Char('%'), from);
            if (i < 0)
                return;
            from = i + 1;
            qsizetype p = i + 1;
            if (p >= text.size() || text[p] == QLatin1Char('%'))
                continue;
            if (!isAsciiLetter(text[p]) && text[p] != QLatin1Char('_'))
                continue;
            while (p < text.size() && isSymbolChar(text[p]))
                ++p;
            if (p >= text.size() || text[p] != QLatin1Char('%')) {
                from = p;
                continue;
            }
            const QString symbol = text.mid(i, p - i + 1);
            if (onStack(symbol, level)) {
                from = p + 1;
                continue;
            }
            QString result = cb(symbol, {}, true);
            if (result == symbol) {
                from = p + 1;
                continue;
            }
            expandNested(result, symbol, level);
            text.replace(i, symbol.size(), result);
            from = i + result.size();
        }
    }

    void macroPass(QString &text, int level)
    {
        int line = 1;
        qsizetype lineStart = -1;
        QList<TstackItem> markers;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text.constData()[i].unicode();
            if (c == '\n') {
                ++line;
                lineStart = i;
                continue;
            }
            if (c != '{' && c != '.' && c != ':') // no marker starts here
                continue;
            const int col = int(i - lineStart);
            if (at(text, i, kQuoteOpen))
                markers.append({i, line, col, true});
            if (at(text, i, kQuoteClose) && !markers.isEmpty() && markers.last().quote)
                markers.removeLast();
            if (at(text, i, kMacroOpen) && (markers.isEmpty() || !markers.last().quote))
                markers.append({i, line, col, false});
            if (at(text, i, kMacroClose)) {
                if (markers.isEmpty())
                    throw EtplError(QStringLiteral("unmatched marker"), text.mid(i, 30), line, col);
                if (markers.last().quote)
                    continue;
                const qsizetype open = markers.takeLast().pos;
                const qsizetype len = i + 2 - open;
                const QString result = evalMacro(text.mid(open, len), level);
                text.replace(open, len, result);
                i = open + result.size() - 1;
            }
        }
        if (!markers.isEmpty()) {
            const TstackItem &top = markers.last();
            throw EtplError(QStringLiteral("unmatched marker"), text.mid(top.pos, 30), top.row, top.col);
        }
    }

    // whole: the macro with its markers; returns its replacement.
    QString evalMacro(const QString &whole, int level)
    {
        // "{.}" shares its dot between the two markers: the inner text is empty.
        const QString inner = whole.size() > 4 ? whole.mid(2, whole.size() - 4) : QString();
        if (onStack(inner, level))
            return whole;
        QStringList pieces;
        if (!splitPieces(inner, pieces))
            return whole;
        QString result = cb(inner, pieces, false);
        expandNested(result, inner, level);
        return result;
    }

    // Splits at every "|" outside quoted regions; false when a "|" sits in a
    // quoted region that never closes.
    static bool splitPieces(const QString &inner, QStringList &pieces)
    {
        int depth = 0;
        bool pipeInOpenQuote = false;
        qsizetype from = 0;
        for (qsizetype i = 0; i < inner.size(); ++i) {
            if (at(inner, i, kQuoteOpen)) {
                ++depth;
            } else if (at(inner, i, kQuoteClose)) {
                if (depth > 0 && --depth == 0)
                    pipeInOpenQuote = false;
            } else if (inner[i] == QLatin1Char('|')) {
                if (depth > 0) {
                    pipeInOpenQuote = true;
                } else {
                    pieces.append(inner.mid(from, i - from));
                    from = i + 1;
                }
            }
        }
        if (depth > 0 && pipeInOpenQuote)
            return false;
        pieces.append(inner.mid(from));
        return true;
    }
};

} // namespace

void parseAndExpand(QString &text, const TmacroCallback &callback, bool removeQuotings,
                    TexpansionBudget *budget)
{
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    TexpansionBudget local;
    Texpander expander(callback, budget ? *budget : local);
    // Remove the quote markers even when the scan stops at an unmatched marker.
    struct Unquote
    {
        QString &t;
        bool on;
        ~Unquote()
        {
            if (on) {
                t.remove(kQuoteOpen);
                t.remove(kQuoteClose);
            }
        }
    } unquote{text, removeQuotings};
    expander.expand(text, 0);
}

qsizetype findMacroMarker(const QString &text, qsizetype from)
{
    for (qsizetype i = qMax<qsizetype>(from, 0); i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('|'))
            return i;
        if (i + 1 >= text.size())
            break;
        const QChar n = text[i + 1];
        if ((c == QLatin1Char('{') && (n == QLatin1Char('.') || n == QLatin1Char(':')))
            || ((c == QLatin1Char('.') || c == QLatin1Char(':')) && n == QLatin1Char('}')))
            return i;
    }
    return -1;
}

bool containsMacroMarker(const QString &text)
{
    return findMacroMarker(text) >= 0;
}
