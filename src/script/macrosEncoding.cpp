// Character and URL encodings, digests.
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "util/asciiCase.h"
#include "util/codePage.h"
#include "util/encodings.h"
#include "util/inertText.h"

namespace {

QString hex2(uint code)
{
    return QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

// Every listed character as "\u" and four hexadecimal digits: the one escape
// that scripts and JSON both read (JSON has no "\x").
void jsEncodeMacro(TmacroCall &c)
{
    const QString text = c.par(0);
    const QString chars = c.count() > 1 ? c.par(1) : QStringLiteral("'\"");
    QString out;
    out.reserve(text.size());
    for (QChar ch : text) {
        if (!chars.contains(ch))
            out += ch;
        else
            out += QLatin1String("\\u") +
                   QString::number(ch.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0'));
    }
    c.result = out;
}

// The references that keep visitor and disk text inert ("&#37;" for a "%"
// that would open a symbol, "&#123;" and the like for macro markers) already
// are HTML: escaping their "&" again would show them instead of the
// characters they stand for (a search for "{.x|y" shown as "&#123;.x&#124;y").
bool inertReferenceAt(const QString &text, qsizetype i)
{
    static const QLatin1String refs[] = {QLatin1String("&#37;"), QLatin1String("&#46;"), QLatin1String("&#58;"),
                                         QLatin1String("&#123;"), QLatin1String("&#124;")};
    for (const QLatin1String &r : refs)
        if (QStringView(text).mid(i).startsWith(r))
            return true;
    return false;
}

QString encodeHtml(const QString &text)
{
    QString out;
    qsizetype from = 0;
    for (qsizetype amp = text.indexOf(u'&'); amp >= 0; amp = text.indexOf(u'&', amp + 1)) {
        if (!inertReferenceAt(text, amp))
            continue;
        out += escapeHTML(QStringView(text).mid(from, amp - from));
        out += u'&';
        from = amp + 1;
    }
    if (from == 0)
        return escapeHTML(text);
    out += escapeHTML(QStringView(text).mid(from));
    return out;
}

bool inDefaultUriSet(char16_t u)
{
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
           QStringView(u"#$&+,/:=?@").contains(QChar(u));
}

void encodeUriMacro(TmacroCall &c)
{
    const auto only = c.namedRaw(QStringLiteral("only"));
    const QString add = c.namedRaw(QStringLiteral("add")).value_or(QString());
    const QString keep = c.namedRaw(QStringLiteral("not")).value_or(QString());
    QString out;
    for (QChar ch : c.par(0)) {
        const char16_t u = ch.unicode();
        bool kept;
        if (only)
            kept = u < 256 && !only->contains(ch);
        else
            kept = (inDefaultUriSet(u) && !add.contains(ch)) || keep.contains(ch);
        if (kept)
            out += ch;
        else // one UTF-16 unit, one escape: codes above 255 get more digits
            out += QLatin1Char('%') + hex2(u);
    }
    c.result = out;
}

// The digest input: the UTF-8 form read back as code-page characters, as
// stored hashes expect (the same as the plain text for ASCII).
QString digestInput(const QString &p)
{
    return codePageToText(p.toUtf8());
}

// An invalid escape ("%zz") becomes a single "_". Characters outside the
// escapes keep their UTF-8 form: item URLs carry names with accents unencoded,
// and a trip through the code page would turn them into "?".
QString decodeUri(const QString &text)
{
    return bytesToText(percentDecode(text.toUtf8(), true));
}

void convertMacro(TmacroCall &c)
{
    const QString from = c.par(0), to = c.par(1), text = c.par(2);
    if (sameText(from, u"ansi") && sameText(to, u"utf-8")) {
        c.result = codePageToText(text.toUtf8());
    } else if (sameText(from, u"utf-8") && sameText(to, u"ansi")) {
        c.result = QString::fromUtf8(textToCodePage(text));
    } else if (sameText(from, u"utf-8") && sameText(to, u"dec")) {
        QStringList parts;
        for (const char b : text.toUtf8())
            parts << QString::number(uchar(b));
        c.result = parts.join(QLatin1Char(','));
    } else if (sameText(from, u"utf-8") && sameText(to, u"hex")) {
        c.result = QString::fromLatin1(text.toUtf8().toHex().toUpper());
    }
}

} // namespace

void registerEncodingMacros(TmacroRegistry &r)
{
    // The encodings read nothing but their parameters.
    const bool pure = true;
    r.add(QStringLiteral("encode html"), 1, [](TmacroCall &c) { c.result = encodeHtml(c.par(0)); }, pure);
    r.add(QStringLiteral("js encode"), 0, jsEncodeMacro, pure);
    r.add(QStringLiteral("encodeuri"), 1, encodeUriMacro, pure);
    // What a URL encodes is data (often a visitor's): shown, never run.
    r.add(QStringLiteral("decodeuri"), 1,
          [](TmacroCall &c) { c.result = makeInert(decodeUri(macroDequote(c.par(0)))); }, pure);
    r.add(QStringLiteral("base64"), 0,
          [](TmacroCall &c) { c.result = QString::fromLatin1(base64Encode(c.par(0))); }, pure);
    r.add(QStringLiteral("base64decode"), 0,
          [](TmacroCall &c) { c.result = QString::fromUtf8(base64Decode(c.par(0))); }, pure);
    r.add(QStringLiteral("md5"), 0,
          [](TmacroCall &c) { c.result = md5Hex(digestInput(c.par(0))); });
    r.add(QStringLiteral("sha1"), 0,
          [](TmacroCall &c) { c.result = sha1Hex(digestInput(c.par(0))); });
    r.add(QStringLiteral("sha256"), 0,
          [](TmacroCall &c) { c.result = sha256Hex(digestInput(c.par(0))); });
    r.add(QStringLiteral("convert"), 3, convertMacro);
}
