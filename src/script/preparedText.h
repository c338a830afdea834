// A text expanded again and again while the values of its symbols change,
// as each item of a folder page is: its symbols and its outermost macros are
// found once, and each expansion evaluates the symbols, copies the plain
// runs and runs only the macros.
#pragma once

#include "script/macroParser.h"

#include <QString>
#include <QStringList>

#include <vector>

class TpreparedText
{
public:
    explicit TpreparedText(const QString &text);

    const QString &text() const { return src; }

    // Appends to `out` what parseAndExpand(copy, callback, false, budget)
    // leaves in a copy of the text. On an unmatched marker it appends the
    // text as far as the expansion got, then throws EtplError.
    void expandInto(QString &out, const TmacroCallback &callback,
                    TexpansionBudget *budget = nullptr) const;

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
