#include "script/macroText.h"

#include "script/macroParser.h"

#include <QLocale>
#include <cmath>

QString macroQuote(const QString &text)
{
    if (!containsMacroMarker(text)) return text;
    QString s = text;
    s.replace(QLatin1String(":}"), QLatin1String("&#58;}"));
    s.replace(QLatin1String("{:"), QLatin1String("&#123;:"));
    return QLatin1String("{:") + s + QLatin1String(":}");
}

QString macroDequote(const QString &text)
{
    const QString s = text.trimmed();
    if (s.size() >= 4 && s.startsWith(QLatin1String("{:")) && s.endsWith(QLatin1String(":}")))
        return s.mid(2, s.size() - 4);
    return s;
}

static QString charRef(QChar c)
{
    return QLatin1String("&#") + QString::number(c.unicode()) + QLatin1Char(';');
}

QString disarmMacros(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    const QString out = encodeMarkers(nul >= 0 ? text.left(nul) : text);
    // %name% with letters, digits or "-": its first "%" becomes a reference.
    QString res;
    res.reserve(out.size());
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i] == QLatin1Char('%')) {
            qsizetype j = i + 1;
            while (j < out.size() && (out[j].isLetterOrNumber() || out[j] == QLatin1Char('-')) &&
                   out[j].unicode() < 128)
                ++j;
            if (j > i + 1 && j < out.size() && out[j] == QLatin1Char('%')) {
                res += QLatin1String("&#37;");
                continue;
            }
        }
        res += out[i];
    }
    return res;
}

QString encodeMarkers(const QString &text)
{
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    for (qsizetype i = findMacroMarker(text, 0); i >= 0; i = findMacroMarker(text, from)) {
        out += QStringView(text).mid(from, i - from);
        out += charRef(text[i]);
        from = i + 1;
    }
    out += QStringView(text).mid(from);
    return out;
}

QString macroErrorText(const QString &macroName, const QString &message)
{
    QString s = QLatin1String("<div class=macroerror>macro error: ") + macroName.trimmed();
    if (!message.isEmpty()) s += QLatin1String("<br>") + message;
    return s + QLatin1String("</div>");
}

QString formatMacroNumber(double v)
{
    if (!std::isfinite(v)) return QString();
    if (v == 0) return QStringLiteral("0");
    QString s = QString::number(v, 'G', 15);
    const qsizetype e = s.indexOf(QLatin1Char('E'));
    if (e >= 0) { // "1E+20" -> "1E20", "1E-05" -> "1E-5"
        QString mant = s.left(e);
        QString exp = s.mid(e + 1);
        bool neg = exp.startsWith(QLatin1Char('-'));
        if (exp.startsWith(QLatin1Char('+')) || neg) exp.remove(0, 1);
        while (exp.size() > 1 && exp.startsWith(QLatin1Char('0')))
            exp.remove(0, 1);
        s = mant + QLatin1Char('E') + (neg ? QStringLiteral("-") : QString()) + exp;
    }
    return s;
}

std::optional<double> parseMacroFloat(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    // Only plain decimal forms: no "inf", "nan" or hexadecimal.
    for (QChar c : t) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || u == '.' || u == '-' || u == '+' || u == 'e' || u == 'E'))
            return std::nullopt;
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<qint64> parseMacroInt(const QString &text)
{
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok, 10);
    if (!ok) return std::nullopt;
    return v;
}

bool macroIsTrue(const QString &text)
{
    if (text.isEmpty()) return false;
    const auto v = parseMacroFloat(text);
    return !(v && *v == 0);
}
