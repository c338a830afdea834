#pragma once
// The table of option keys: name, value type, default (the member's initial
// value in Toptions) and where the value lives. getCfg writes the keys in
// table order; setCfg finds them by name.
#include "config/options.h"

#include <QStringView>

#include <optional>
#include <span>
#include <variant>

class Tconfig;

enum TcfgType {
    CT_BOOL, // "yes" / "no"
    CT_INT,  // decimal, 64-bit
    CT_REAL, // shortest decimal form with "."
    CT_TIME, // real days since 1899-12-30
    CT_TEXT, // as is
    CT_LIST, // items joined by a separator; empty items are dropped
    CT_PAIRS, // flat pairs joined by a separator; empty members are kept
    CT_ENC,  // structured value with its own encoding
};

struct TcfgKey
{
    using Member = std::variant<std::monostate, bool Toptions::*, qint64 Toptions::*,
                                double Toptions::*, QString Toptions::*, QStringList Toptions::*>;
    // No value: the key is not written at this moment.
    using Encoder = std::optional<QString> (*)(const Tconfig &);
    using Decoder = void (*)(Tconfig &, const QString &);

    const char *key;
    TcfgType type;
    Member member;
    char separator = 0;        // CT_LIST, CT_PAIRS
    Encoder encode = nullptr;  // CT_ENC
    Decoder decode = nullptr;  // CT_ENC
};

// Every key in the order getCfg writes them.
std::span<const TcfgKey> cfgKeys();
// The entry of a key (case-sensitive), or nullptr.
const TcfgKey *findCfgKey(QStringView key);

// Number formats of the configuration text (always "." as decimal separator).
QString cfgReal(double v);
double parseCfgReal(const QString &s);  // malformed -> 0
qint64 parseCfgInt(const QString &s);   // malformed -> 0
inline QString cfgBool(bool b) { return b ? QStringLiteral("yes") : QStringLiteral("no"); }
inline bool parseCfgBool(const QString &s) { return s == u"yes"; }
