#include "script/calc.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace {

class Tcalc
{
public:
    explicit Tcalc(const QString &s) : s(s) {}

    std::optional<double> run()
    {
        const auto v = sum(0);
        if (!v || pos != s.size()) return std::nullopt;
        return v;
    }

private:
    static constexpr int kMaxDepth = 200;
    const QString s;
    qsizetype pos = 0;

    QChar peek() const { return pos < s.size() ? s[pos] : QChar(); }

    static std::optional<qint64> toInt(double v)
    {
        // 2^63 itself does not fit; every smaller magnitude down to -2^63 does.
        if (!std::isfinite(v) || v >= 9223372036854775808.0 || v < -9223372036854775808.0)
            return std::nullopt;
        return qint64(v);
    }

    std::optional<double> sum(int depth)
    {
        auto left = product(depth);
        while (left && (peek() == QLatin1Char('+') || peek() == QLatin1Char('-'))) {
            const QChar op = s[pos++];
            const auto right = product(depth);
            if (!right) return std::nullopt;
            left = op == QLatin1Char('+') ? *left + *right : *left - *right;
            if (!std::isfinite(*left)) return std::nullopt;
        }
        return left;
    }

    std::optional<double> product(int depth)
    {
        auto left = unary(depth);
        while (left) {
            const QChar op = peek();
            if (op != QLatin1Char('*') && op != QLatin1Char('/') && op != QLatin1Char('%') &&
                op != QLatin1Char('[') && op != QLatin1Char(']'))
                break;
            ++pos;
            const auto right = unary(depth);
            if (!right) return std::nullopt;
            left = apply(op, *left, *right);
        }
        return left;
    }

    static std::optional<double> apply(QChar op, double a, double b)
    {
        double r;
        if (op == QLatin1Char('*')) {
            r = a * b;
        } else if (op == QLatin1Char('/')) {
            if (b == 0) return std::nullopt; // division by zero
            r = a / b;
        } else if (op == QLatin1Char('%')) {
            const auto x = toInt(std::trunc(a)), y = toInt(std::trunc(b));
            if (!x || !y || *y == 0) return std::nullopt;
            r = *y == -1 ? 0 : double(*x % *y); // INT64_MIN % -1 traps in hardware
        } else {
            const auto x = toInt(std::round(a)), y = toInt(std::round(b));
            if (!x || !y) return std::nullopt;
            if (*y < 0 || *y > 63)
                r = 0;
            else if (op == QLatin1Char('['))
                r = double(qint64(quint64(*x) << *y));
            else
                r = double(quint64(*x) >> *y);
        }
        if (!std::isfinite(r)) return std::nullopt;
        return r;
    }

    std::optional<double> unary(int depth)
    {
        if (peek() == QLatin1Char('-') || peek() == QLatin1Char('+')) {
            if (depth > kMaxDepth) return std::nullopt;
            const bool neg = s[pos++] == QLatin1Char('-');
            const auto v = unary(depth + 1);
            if (!v) return std::nullopt;
            return neg ? -*v : *v;
        }
        return primary(depth);
    }

    std::optional<double> primary(int depth)
    {
        if (peek() == QLatin1Char('(')) {
            if (depth > kMaxDepth) return std::nullopt;
            ++pos;
            const auto v = sum(depth + 1);
            if (!v || peek() != QLatin1Char(')')) return std::nullopt;
            ++pos;
            return v;
        }
        const qsizetype start = pos;
        while (pos < s.size() && (s[pos].isDigit() || s[pos] == QLatin1Char('.')) &&
               s[pos].unicode() < 128)
            ++pos;
        if (pos == start) return std::nullopt;
        bool ok = false;
        const double v = QLocale::c().toDouble(QStringView(s).mid(start, pos - start), &ok);
        if (!ok) return std::nullopt;
        return v;
    }
};

} // namespace

std::optional<double> calcExpression(const QString &expr)
{
    QString s = expr;
    s.remove(QLatin1Char(' '));
    s.remove(QLatin1Char('\t'));
    s.remove(QLatin1Char('\r'));
    s.remove(QLatin1Char('\n'));
    if (s.isEmpty()) return std::nullopt;
    return Tcalc(s).run();
}
