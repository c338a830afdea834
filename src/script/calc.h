// Arithmetic expressions of the "calc" macro.
#pragma once

#include <QString>
#include <optional>

// + - * / in floating point, % integer remainder of the truncated operands,
// [ and ] 64-bit shifts (] logical) of the rounded operands; * / % [ ] bind
// tighter than + -, equal priorities from the left, parentheses group.
// Nothing for a malformed expression, a division by zero, a value out of
// the 64-bit range where an integer is needed or a non-finite result.
std::optional<double> calcExpression(const QString &expr);
