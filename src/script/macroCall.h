// One invocation of a macro: its name, prepared parameters, result and run.
#pragma once

#include "script/macroData.h"

#include <QString>
#include <QStringList>
#include <exception>
#include <optional>

// Thrown by a macro to end with an empty result (bad number, missing input).
class TmacroAbort : public std::exception
{
public:
    explicit TmacroAbort(const char *why = "macro aborted") : why(why) {}
    const char *what() const noexcept override { return why; }

private:
    const char *why;
};

class TmacroCall
{
public:
    TmacroCall(TmacroData &md, const QString &name, QStringList params, QString fullText = {});

    TmacroData &md;
    const QString fullText; // the macro's inner text as written
    const QString name;     // as written, trimmed
    const QString lname;    // lower case, for dispatch
    const QStringList params;
    QString result;
    int unnamedCount = 0; // leading parameters without "="

    int count() const { return int(params.size()); }
    QString raw(int k) const { return k < params.size() ? params[k] : QString(); }
    QString par(int k) const { return raw(k).trimmed(); }
    // The value after "=" of the first parameter named `n` (case ignored).
    std::optional<QString> namedRaw(const QString &n) const;
    bool hasNamed(const QString &n) const { return namedRaw(n).has_value(); }
    QString named(const QString &n, const QString &def = QString()) const;
    // Named `n` when present, else positional k unless k looks like another
    // named parameter (word=value, the word without spaces or line breaks).
    std::optional<QString> parOrNamed(int k, const QString &n, bool trim = true) const;
    bool looksNamed(int k) const;

    double floatPar(int k) const; // throws TmacroAbort
    qint64 intPar(int k) const;   // throws TmacroAbort
    void setError(const QString &message);
    // For macros that need a connection, folder, item or template the run lacks.
    void setCannotBeUsedHere() { setError(QStringLiteral("cannot be used here")); }
    [[noreturn]] void fail() const { throw TmacroAbort(); }

    // Variables in the namespace the name selects ("#" global).
    QString getVar(const QString &name) const;
    bool setVar(const QString &name, const QString &value);
    TvarList &space(const QString &name, QString &bareName) const; // throws

    // Expands a text inside this run (loops, "quote").
    QString expand(const QString &text, bool removeQuotings = true);
};
