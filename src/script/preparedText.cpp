#include "script/preparedText.h"

#include "script/macroExpander.h"

#include <QScopeGuard>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace macroscan;

namespace {

// What one look at a value tells. Every marker holds a brace: a value with
// one may make or move a marker once it stands in the text. (A "|" only
// matters once a macro is split, which the macro pass does on the text with
// its values either way.) A symbol needs a "%".
struct TvalueMarks {
    bool brace = false;
    bool percent = false;
};

TvalueMarks marksOf(const QString &value)
{
    // No branch in the loops: values are short and mostly hold neither.
    // Eight characters a step where SSE2 is at hand.
    const char16_t *d = reinterpret_cast<const char16_t *>(value.constData());
    const qsizetype n = value.size();
    qsizetype i = 0;
    bool brace = false, percent = false;
#if defined(__SSE2__)
    const __m128i open = _mm_set1_epi16(short(u'{')), close = _mm_set1_epi16(short(u'}')),
                  sign = _mm_set1_epi16(short(u'%'));
    __m128i braces = _mm_setzero_si128(), signs = _mm_setzero_si128();
    const auto look = [&](qsizetype at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + at));
        braces = _mm_or_si128(braces, _mm_or_si128(_mm_cmpeq_epi16(v, open), _mm_cmpeq_epi16(v, close)));
        signs = _mm_or_si128(signs, _mm_cmpeq_epi16(v, sign));
    };
    for (; i + 8 <= n; i += 8)
        look(i);
    if (i < n && n >= 8) { // the last eight, read again in part
        look(n - 8);
        i = n;
    }
    brace = _mm_movemask_epi8(braces) != 0;
    percent = _mm_movemask_epi8(signs) != 0;
#endif
    for (; i < n; ++i) {
        const char16_t u = d[i];
        brace |= (u == '{') | (u == '}');
        percent |= u == '%';
    }
    return {brace, percent};
}

} // namespace

TpreparedText::TpreparedText(const QString &text) : src(text)
{
    const qsizetype nul = src.indexOf(QChar(0));
    if (nul >= 0) src.truncate(nul);
    qsizetype from = 0, start = 0, end = 0;
    while (nextSymbol(src, from, start, end)) {
        const QString symbol = src.mid(start, end - start);
        firstOf.push_back(symbols.indexOf(symbol));
        if (firstOf.back() < 0) firstOf.back() = symbols.size();
        symbols.append(symbol);
        symbolAt.push_back(start);
        // An empty value would join the brace to what follows the symbol.
        if ((start > 0 && src[start - 1] == QLatin1Char('{')) ||
            (end < src.size() && src[end] == QLatin1Char('}')))
            generalOnly = true;
    }
    findRegions();
}

// Follows the markers as the macro pass does; quoted regions outside any
// macro are copied as they stand, so they belong to the plain runs.
void TpreparedText::findRegions()
{
    qsizetype nextSymbolIndex = 0;
    bool nested = false; // the macro being read holds another
    const auto add = [this, &nextSymbolIndex, &nested](qsizetype start, qsizetype end, bool macro) {
        if (start >= end) return;
        Tregion r;
        r.start = start;
        r.end = end;
        r.macro = macro;
        r.single = macro && !nested;
        r.firstSymbol = nextSymbolIndex;
        while (nextSymbolIndex < qsizetype(symbolAt.size()) && symbolAt[nextSymbolIndex] < end)
            ++nextSymbolIndex;
        r.endSymbol = nextSymbolIndex;
        regions.push_back(r);
    };
    std::vector<bool> open; // markers open, innermost last: true for a quote
    qsizetype runStart = 0, macroStart = 0;
    qsizetype s = 0;
    while (s < src.size()) {
        if (!markerAt(src, s)) {
            ++s;
            continue;
        }
        if (quoteOpenAt(src, s)) {
            open.push_back(true);
        } else if (quoteCloseAt(src, s)) {
            if (!open.empty() && open.back()) {
                open.pop_back();
                s += 2;
                continue;
            }
        } else if (macroOpenAt(src, s)) {
            if (open.empty()) {
                add(runStart, s, false);
                macroStart = s;
                nested = false;
            } else if (!open.back()) {
                nested = true;
            }
            if (open.empty() || !open.back()) open.push_back(false);
        } else if (macroCloseAt(src, s)) {
            if (open.empty()) break; // unmatched
            if (!open.back()) {
                open.pop_back();
                s += 2;
                if (open.empty()) {
                    add(macroStart, s, true);
                    runStart = s;
                }
                continue;
            }
        }
        ++s;
    }
    if (s < src.size() || !open.empty()) {
        generalOnly = true;
        regions.clear();
        return;
    }
    add(runStart, src.size(), false);
}

void TpreparedText::expandInto(QString &out, const TmacroCallback &callback,
                               TexpansionBudget *budget, TpreparedValues *values) const
{
    TexpansionBudget local;
    Texpander expander(callback, budget ? *budget : local);
    expander.expandPrepared(*this, out, values);
}

// The symbol pass and the macro pass of expand(), on a text whose markers
// are known: with values free of braces the markers stay where
// they were found, so only the macros need the macro pass.
void Texpander::expandPrepared(const TpreparedText &p, QString &out, TpreparedValues *source)
{
    const Tlevel l(*this, 0);
    if (!l.entered()) {
        out += p.src;
        return;
    }
    // The symbol pass, its memo kept by occurrence: a symbol met again has
    // the value of its first occurrence until a value runs macros.
    const qsizetype n = p.symbols.size();
    QVarLengthArray<QString, 32> valueStore(n);
    QVarLengthArray<qsizetype, 32> memoStore(n, -1); // by first occurrence: where its value is
    // Plain pointers: read through the arrays, every use loads their data
    // pointer again (a write to a value might have moved it, for all the
    // compiler knows).
    QString *const values = valueStore.data();
    qsizetype *const memo = memoStore.data();
    bool plain = !p.generalOnly;
    // Nothing is on the stack here: a text of the outermost level names
    // itself only while one of its values is expanded (expandNested), and
    // that is over before the next symbol is read.
    for (qsizetype k = 0; k < n; ++k) {
        const QString &symbol = p.symbols[k];
        QString &value = values[k];
        const qsizetype first = p.firstOf[k];
        if (memo[first] >= 0) {
            value = values[memo[first]];
            continue; // inert: it was checked when met
        }
        value = source ? source->symbolValue(first) : cb(symbol, {}, true);
        memo[first] = k;
        // An empty value (a symbol of most items) holds no marker or symbol.
        if (value.isEmpty() || (value.size() == symbol.size() && value == symbol)) continue;
        TvalueMarks marks = marksOf(value);
        if ((marks.brace && mayHoldMacro(value)) || (marks.percent && mayHoldSymbol(value))) {
            std::fill(memo, memo + n, -1);
            expandNested(value, symbol, 0);
            marks = marksOf(value);
        }
        if (marks.brace) plain = false;
    }
    // The text from `start` to `end` with the values in place of its symbols.
    // The size is worked out first, so the pieces are copied into place.
    const auto appendRun = [&](QString &to, qsizetype start, qsizetype end, qsizetype firstSymbol,
                               qsizetype endSymbol) {
        qsizetype size = end - start;
        for (qsizetype k = firstSymbol; k < endSymbol; ++k)
            size += values[k].size() - p.symbols[k].size();
        const qsizetype at = to.size();
        to.resize(at + size);
        QChar *d = to.data() + at;
        const QChar *s = p.src.constData();
        const auto put = [&d](const QChar *from, qsizetype count) {
            std::memcpy(static_cast<void *>(d), from, size_t(count) * sizeof(QChar));
            d += count;
        };
        qsizetype from = start;
        for (qsizetype k = firstSymbol; k < endSymbol; ++k) {
            put(s + from, p.symbolAt[k] - from);
            put(values[k].constData(), values[k].size());
            from = p.symbolAt[k] + p.symbols[k].size();
        }
        put(s + from, end - from);
    };
    if (!plain) {
        QString text;
        appendRun(text, 0, p.src.size(), 0, n);
        try {
            macroPass(text, 0);
        } catch (const EtplError &) {
            out += text;
            throw;
        }
        out += text;
        return;
    }
    for (const TpreparedText::Tregion &r : p.regions) {
        if (!r.macro) {
            appendRun(out, r.start, r.end, r.firstSymbol, r.endSymbol);
            continue;
        }
        QString text = source ? source->takeMacroBuffer() : QString();
        const auto handBack = qScopeGuard([&] {
            if (source) source->handBackMacroBuffer(std::move(text));
        });
        appendRun(text, r.start, r.end, r.firstSymbol, r.endSymbol);
        if (r.single) {
            // What the macro pass would do with it.
            if (!source) {
                out += evalMacro(text, 0);
            } else if (const QString *known = source->knownMacro(text)) {
                out += *known;
            } else {
                const QString result = evalMacro(text, 0);
                source->macroDone(text, result);
                out += result;
            }
            continue;
        }
        macroPass(text, 0); // balanced: nothing to throw
        out += text;
    }
}
