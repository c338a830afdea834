// A text expanded again and again while the values of its symbols change,
// as each item of a folder page is: its symbols and its outermost macros are
// found once, and each expansion evaluates the symbols, copies the plain
// runs and runs only the macros.
#pragma once

#include "script/macroParser.h"

#include <QString>
#include <QStringList>

#include <vector>

// What a caller that expands a prepared text again and again keeps across
// the expansions: the values of the text's symbols, each looked up once, in
// place of the callback's; and the results of macros known to come out the
// same for the same text.
class TpreparedValues
{
public:
    // What the callback would answer for the symbol whose first occurrence
    // in the text is `first` (an index of TpreparedText::symbol).
    virtual QString symbolValue(qsizetype first) = 0;
    // The final result of a macro (with its markers) that stands alone
    // outside any other, when an earlier expansion settled it; null otherwise.
    virtual const QString *knownMacro(const QString &whole) = 0;
    // The result the macro pass gave for such a macro.
    virtual void macroDone(const QString &whole, const QString &result) = 0;
    // A buffer for a macro's text, empty, whose room is used again from one
    // expansion to the next: taken while in use (a nested expansion gets
    // another one) and handed back afterwards.
    virtual QString takeMacroBuffer() = 0;
    virtual void handBackMacroBuffer(QString &&buffer) = 0;

protected:
    ~TpreparedValues() = default;
};

class TpreparedText
{
public:
    explicit TpreparedText(const QString &text);

    const QString &text() const { return src; }

    // The occurrences of symbols, in text order, with their percent signs;
    // firstOccurrence(k) is the index of the first one with the same name.
    qsizetype symbolCount() const { return symbols.size(); }
    const QString &symbol(qsizetype k) const { return symbols[k]; }
    qsizetype firstOccurrence(qsizetype k) const { return firstOf[size_t(k)]; }

    // Appends to `out` what parseAndExpand(copy, callback, false, budget)
    // leaves in a copy of the text. On an unmatched marker it appends the
    // text as far as the expansion got, then throws EtplError. With
    // `values`, the symbols of the text itself take their values from it
    // (those met in values and macro results still go to the callback).
    void expandInto(QString &out, const TmacroCallback &callback,
                    TexpansionBudget *budget = nullptr, TpreparedValues *values = nullptr) const;

private:
    friend class Texpander;

    // A run of the text between outermost markers, or one outermost macro
    // or quoted region with everything inside it.
    struct Tregion
    {
        qsizetype start = 0, end = 0;
        qsizetype firstSymbol = 0, endSymbol = 0; // the symbols inside
        bool macro = false;                       // runs as a macro
        bool single = false; // a macro with no macro inside (quotes at most)
    };

    QString src;
    QStringList symbols;              // each occurrence, with percent signs
    std::vector<qsizetype> symbolAt; // where each occurrence starts
    std::vector<qsizetype> firstOf;  // the first occurrence of the same symbol
    std::vector<Tregion> regions;
    // Values may then change where markers are (an unmatched marker, or a
    // symbol right after "{" or before "}"): every expansion takes the
    // general way.
    bool generalOnly = false;

    void findRegions();
};
