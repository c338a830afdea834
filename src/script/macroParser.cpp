#include "script/macroParser.h"

#include "script/macroExpander.h"

#include <QList>
#include <QVarLengthArray>

#include <algorithm>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    return i + 1 < s.size() && d[i].unicode() == marker[0].unicode() &&
           d[i + 1].unicode() == marker[1].unicode();
}

} // namespace

namespace macroscan {

bool markerAt(const QString &s, qsizetype i)
{
    const QChar *d = s.constData();
    if (i + 1 >= s.size()) return false;
    const char16_t c = d[i].unicode(), n = d[i + 1].unicode();
    return (c == '{' && (n == '.' || n == ':')) || ((c == '.' || c == ':') && n == '}');
}

bool quoteOpenAt(const QString &s, qsizetype i) { return at(s, i, kQuoteOpen); }
bool quoteCloseAt(const QString &s, qsizetype i) { return at(s, i, kQuoteClose); }
bool macroOpenAt(const QString &s, qsizetype i) { return at(s, i, kMacroOpen); }
bool macroCloseAt(const QString &s, qsizetype i) { return at(s, i, kMacroClose); }

// One look at each brace.
bool mayHoldMacro(const QString &text)
{
    const QChar *d = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = text.indexOf(QLatin1Char('{')); i >= 0 && i + 1 < n;
         i = text.indexOf(QLatin1Char('{'), i + 1))
        if (d[i + 1] == QLatin1Char('.') || d[i + 1] == QLatin1Char(':')) return true;
    for (qsizetype i = text.indexOf(QLatin1Char('}'), 1); i > 0; i = text.indexOf(QLatin1Char('}'), i + 1))
        if (d[i - 1] == QLatin1Char('.')) return true;
    return false;
}

namespace {

// Where the next "%" followed by a letter or "_" is, at `from` or later
// (only such a sign may start a symbol); -1 if none. The signs of encoded
// URLs, followed by digits mostly, are passed eight characters a step where
// SSE2 is at hand.
qsizetype nextSymbolStart(const QString &text, qsizetype from)
{
    const char16_t *d = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    qsizetype i = qMax<qsizetype>(from, 0);
#if defined(__SSE2__)
    const __m128i sign = _mm_set1_epi16(short(u'%')), under = _mm_set1_epi16(short(u'_')),
                  lowerBit = _mm_set1_epi16(0x20), beforeA = _mm_set1_epi16(short(u'a' - 1)),
                  afterZ = _mm_set1_epi16(short(u'z' + 1));
    for (; i + 9 <= n; i += 8) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i + 1));
        // A letter, either case, is one once lowered (characters from
        // U+8000 on compare as negative: never one).
        const __m128i low = _mm_or_si128(next, lowerBit);
        const __m128i letter = _mm_and_si128(_mm_cmpgt_epi16(low, beforeA), _mm_cmplt_epi16(low, afterZ));
        const __m128i starts = _mm_and_si128(_mm_cmpeq_epi16(here, sign),
                                             _mm_or_si128(letter, _mm_cmpeq_epi16(next, under)));
        const int hits = _mm_movemask_epi8(starts);
        if (hits) return i + __builtin_ctz(unsigned(hits)) / 2;
    }
#endif
    for (; i + 1 < n; ++i)
        if (d[i] == u'%' && (isAsciiLetter(QChar(d[i + 1])) || d[i + 1] == u'_')) return i;
    return -1;
}

} // namespace

bool nextSymbol(const QString &text, qsizetype &from, qsizetype &start, qsizetype &end)
{
    while (from < text.size()) {
        // A sign not followed by a letter or "_" is passed, as the check
        // below would.
        const qsizetype i = nextSymbolStart(text, from);
        if (i < 0) break;
        from = i + 1;
        qsizetype p = i + 1;
        if (p >= text.size() || text[p] == QLatin1Char('%')) continue;
        if (!isAsciiLetter(text[p]) && text[p] != QLatin1Char('_')) continue;
        while (p < text.size() && isSymbolChar(text[p]))
            ++p;
        if (p >= text.size() || text[p] != QLatin1Char('%')) {
            from = p;
            continue;
        }
        from = p + 1;
        start = i;
        end = p + 1;
        return true;
    }
    from = text.size();
    return false;
}

bool mayHoldSymbol(const QString &text)
{
    qsizetype from = 0, start = 0, end = 0;
    return nextSymbol(text, from, start, end);
}

bool whollyQuoted(const QString &text)
{
    if (!at(text, 0, kQuoteOpen)) return false;
    int depth = 0;
    qsizetype s = 0;
    while (s < text.size()) {
        if (at(text, s, kQuoteOpen)) {
            ++depth;
            ++s; // the colon may also close it, as in "{:}"
        } else if (at(text, s, kQuoteClose) && depth > 0) {
            s += 2;
            if (--depth == 0) return s == text.size();
        } else {
            ++s; // inside a quote every other marker is copied
        }
    }
    return false;
}

} // namespace macroscan

using namespace macroscan;

Texpander::Tlevel::Tlevel(Texpander &e, int level) : e(e)
{
    if (level >= kExpansionStackSize || e.budget.depth >= e.budget.maxDepth) return;
    on = true;
    ++e.budget.depth;
    if (int(e.stack.size()) <= level) e.stack.resize(level + 1);
}

Texpander::Tlevel::~Tlevel()
{
    if (on) --e.budget.depth;
}

void Texpander::expand(QString &text, int level)
{
    const Tlevel l(*this, level);
    if (!l.entered()) return;
    symbolPass(text, level);
    macroPass(text, level);
}

bool Texpander::onStack(QStringView s, int level) const
{
    for (int k = 0; k <= level && k < int(stack.size()); ++k)
        if (!stack[k].isEmpty() && stack[k].compare(s, Qt::CaseInsensitive) == 0) return true;
    return false;
}

// Expands a callback's result one level deeper; errors there are ignored.
void Texpander::expandNested(QString &result, const QString &what, int level)
{
    stack[level] = what;
    try {
        expand(result, level + 1);
    } catch (const EtplError &) {
    }
    stack[level].clear();
}

// Symbols only read state: a symbol met again in the same text has the value
// it had, until a value holding macros or symbols runs them (they may change
// what symbols read, or stop the run).
bool Texpander::symbolValue(QStringView symbol, QString &value, int level, Tseen &seen)
{
    if (onStack(symbol, level)) return false;
    const auto known = std::find_if(seen.cbegin(), seen.cend(),
                                    [&symbol](const auto &e) { return e.first == symbol; });
    if (known != seen.cend()) {
        value = known->second;
    } else {
        const QString name = symbol.toString();
        value = cb(name, {}, true);
        seen.append({name, value});
    }
    if (value == symbol) return false;
    // A value without macros or symbols is final as it stands.
    if (mayHoldMacro(value) || mayHoldSymbol(value)) {
        seen.clear();
        expandNested(value, symbol.toString(), level);
    }
    return true;
}

// Builds the result left to right, so the cost stays linear in the text.
void Texpander::symbolPass(QString &text, int level)
{
    Tseen seen;
    QString out;
    qsizetype copied = 0; // text before this index is in out
    qsizetype from = 0, start = 0, end = 0;
    while (nextSymbol(text, from, start, end)) {
        QString result;
        if (!symbolValue(QStringView(text).mid(start, end - start), result, level, seen)) continue;
        out += QStringView(text).mid(copied, start - copied);
        out += result;
        copied = end;
    }
    if (copied > 0) {
        out += QStringView(text).mid(copied);
        text = out;
    }
}

// The text is read left to right from `src`; finished text goes to `out`
// and the part from the outermost open marker stays in `cur`, so a macro's
// replacement only moves its own text.
void Texpander::macroPass(QString &text, int level)
{
    // Without an opening marker or a macro's end nothing can change (a
    // lone ":}" is copied as it stands): symbol values take this path.
    if (!mayHoldMacro(text)) return;
    const QString src = text;
    QString out, cur;
    int line = 1;
    qsizetype lineStart = -1; // in positions of the text as modified so far
    QList<TstackItem> markers;
    qsizetype s = 0;
    try {
        while (s < src.size()) {
            const char16_t c = src.constData()[s].unicode();
            QString &target = markers.isEmpty() ? out : cur;
            const qsizetype v = out.size() + cur.size(); // position in the modified text
            if (c == '\n') {
                ++line;
                lineStart = v;
            }
            if (c != '\n' && !markerAt(src, s)) {
                // Copy the run up to the next marker or line feed in one go.
                qsizetype e = s + 1;
                while (e < src.size() && src.constData()[e] != QLatin1Char('\n') && !markerAt(src, e))
                    ++e;
                target += QStringView(src).mid(s, e - s);
                s = e;
                continue;
            }
            const int col = int(v - lineStart);
            if (at(src, s, kQuoteOpen)) {
                markers.append({cur.size(), line, col, true});
            } else if (at(src, s, kQuoteClose)) {
                if (!markers.isEmpty() && markers.last().quote) {
                    markers.removeLast();
                    cur += QStringView(src).mid(s, 2);
                    s += 2;
                    flushIfDone(markers, out, cur);
                    continue;
                }
            } else if (at(src, s, kMacroOpen)) {
                if (markers.isEmpty() || !markers.last().quote)
                    markers.append({cur.size(), line, col, false});
            } else if (at(src, s, kMacroClose)) {
                if (markers.isEmpty())
                    throw EtplError(QStringLiteral("unmatched marker"), src.mid(s, 30), line, col);
                if (!markers.last().quote) {
                    const qsizetype open = markers.takeLast().pos;
                    cur += QStringView(src).mid(s, 2);
                    s += 2;
                    const QString result = evalMacro(cur.mid(open), level);
                    cur.truncate(open);
                    cur += result;
                    flushIfDone(markers, out, cur);
                    continue;
                }
            }
            // One character: the next position may start another marker
            // ("{.}" shares its dot).
            (markers.isEmpty() ? out : cur) += src[s];
            ++s;
        }
    } catch (const EtplError &) {
        text = out + cur + src.mid(s);
        throw;
    }
    if (!markers.isEmpty()) {
        const TstackItem &top = markers.last();
        text = out + cur;
        throw EtplError(QStringLiteral("unmatched marker"), cur.mid(top.pos, 30), top.row, top.col);
    }
    text = out;
}

void Texpander::flushIfDone(const QList<TstackItem> &markers, QString &out, QString &cur)
{
    if (markers.isEmpty() && !cur.isEmpty()) {
        out += cur;
        cur.clear();
    }
}

// whole: the macro with its markers; returns its replacement.
QString Texpander::evalMacro(const QString &whole, int level)
{
    // "{.}" shares its dot between the two markers: the inner text is empty.
    const QString inner = whole.size() > 4 ? whole.mid(2, whole.size() - 4) : QString();
    if (onStack(inner, level)) return whole;
    QStringList pieces;
    if (!splitPieces(inner, pieces)) return whole;
    QString result = cb(inner, pieces, false);
    // A result that is one quoted region and names no symbol would come
    // back from its expansion unchanged (a quoted value handed back).
    if (mayHoldSymbol(result) || (mayHoldMacro(result) && !whollyQuoted(result)))
        expandNested(result, inner, level);
    return result;
}

// Splits at every "|" outside quoted regions; false when a "|" sits in a
// quoted region that never closes.
bool Texpander::splitPieces(const QString &inner, QStringList &pieces)
{
    int depth = 0;
    bool pipeInOpenQuote = false;
    qsizetype from = 0;
    for (qsizetype i = 0; i < inner.size(); ++i) {
        if (at(inner, i, kQuoteOpen)) {
            ++depth;
        } else if (at(inner, i, kQuoteClose)) {
            if (depth > 0 && --depth == 0) pipeInOpenQuote = false;
        } else if (inner[i] == QLatin1Char('|')) {
            if (depth > 0) {
                pipeInOpenQuote = true;
            } else {
                pieces.append(inner.mid(from, i - from));
                from = i + 1;
            }
        }
    }
    if (depth > 0 && pipeInOpenQuote) return false;
    pieces.append(inner.mid(from));
    return true;
}

void parseAndExpand(QString &text, const TmacroCallback &callback, bool removeQuotings,
                    TexpansionBudget *budget)
{
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0) text.truncate(nul);
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
    // Every two-character marker holds a brace: only braces and pipes stop
    // the scan. Where SSE2 is at hand, eight characters without either are
    // passed in one step.
    const QChar *d = text.constData();
    const qsizetype n = text.size();
    const qsizetype start = qMax<qsizetype>(from, 0);
#if defined(__SSE2__)
    const __m128i open = _mm_set1_epi16(short(u'{')), close = _mm_set1_epi16(short(u'}')),
                  pipe = _mm_set1_epi16(short(u'|'));
    const auto stopIn = [&](qsizetype at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + at));
        return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, open), _mm_cmpeq_epi16(v, close)),
                                              _mm_cmpeq_epi16(v, pipe))) != 0;
    };
#endif
    qsizetype i = start;
    for (;;) {
#if defined(__SSE2__)
        while (i + 8 <= n && !stopIn(i))
            i += 8;
#endif
        // One step's characters (or the last few) one at a time.
        for (const qsizetype stop = qMin(n, i + 8); i < stop; ++i) {
            const char16_t c = d[i].unicode();
            if (c == '|') return i;
            if (c == '{') {
                if (i + 1 < n && (d[i + 1] == QLatin1Char('.') || d[i + 1] == QLatin1Char(':'))) return i;
            } else if (c == '}') {
                if (i > start && (d[i - 1] == QLatin1Char('.') || d[i - 1] == QLatin1Char(':'))) return i - 1;
            }
        }
        if (i >= n) return -1;
    }
}

bool containsMacroMarker(const QString &text)
{
    return findMacroMarker(text) >= 0;
}
