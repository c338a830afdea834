#include "util/languageFile.h"

#include <QFile>
#include <QStringDecoder>

namespace {

// One half of a line with its escapes resolved; `pos` ends at the first
// unescaped "=" (or the end) when `stopAtEquals`.
QString unescapeLanguageText(const QString &line, qsizetype &pos, bool stopAtEquals)
{
    QString out;
    for (; pos < line.size(); ++pos) {
        const QChar c = line[pos];
        if (c == u'=' && stopAtEquals)
            return out;
        if (c != u'\\' || pos + 1 == line.size()) {
            out += c;
            continue;
        }
        const QChar e = line[++pos];
        switch (e.unicode()) {
        case 'n': out += u'\n'; break;
        case 'r': out += u'\r'; break;
        case 't': out += u'\t'; break;
        default: out += e; // "\=", "\\" and anything else: the character
        }
    }
    return out;
}

// "%s"/"%d" in a source become capture groups; everything else is literal.
QString languagePatternOf(const QString &source)
{
    QString re = QStringLiteral("^");
    qsizetype from = 0;
    for (qsizetype i = 0; i + 1 < source.size(); ++i) {
        if (source[i] != u'%' || (source[i + 1] != u's' && source[i + 1] != u'd'))
            continue;
        re += QRegularExpression::escape(source.mid(from, i - from));
        re += source[i + 1] == u's' ? QStringLiteral("(.*?)") : QStringLiteral("(-?\\d+)");
        from = i + 2;
        ++i;
    }
    re += QRegularExpression::escape(source.mid(from)) + u'$';
    return re;
}

bool hasPlaceholder(const QString &s)
{
    return s.contains(u"%s") || s.contains(u"%d");
}

} // namespace

QString withoutShortcutMarks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&')
                out += text[++i];
            continue;
        }
        out += text[i];
    }
    return out;
}

void TlanguageFile::add(const QString &source, const QString &translation)
{
    if (hasPlaceholder(source)) {
        QRegularExpression re(languagePatternOf(source), QRegularExpression::DotMatchesEverythingOption);
        patterns.append({re, translation});
        return;
    }
    exact.insert(source, translation);
    if (source.contains(u'&'))
        withoutShortcut.insert(withoutShortcutMarks(source), translation);
}

bool TlanguageFile::parse(const QByteArray &bytes)
{
    exact.clear();
    withoutShortcut.clear();
    patterns.clear();
    problem.clear();
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        problem = QStringLiteral("not UTF-8 text");
        return false;
    }
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(u'\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        qsizetype pos = 0;
        const QString source = unescapeLanguageText(line, pos, true);
        if (pos >= line.size() || source.isEmpty()) {
            problem = QStringLiteral("line %1: %2").arg(n + 1).arg(
                source.isEmpty() ? QStringLiteral("no text before \"=\"") : QStringLiteral("no \"=\""));
            exact.clear();
            withoutShortcut.clear();
            patterns.clear();
            return false;
        }
        ++pos; // past "="
        add(source, unescapeLanguageText(line, pos, false));
    }
    return true;
}

bool TlanguageFile::load(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        exact.clear();
        withoutShortcut.clear();
        patterns.clear();
        problem = f.errorString();
        return false;
    }
    return parse(f.readAll());
}

std::optional<QString> TlanguageFile::translate(const QString &text) const
{
    if (text.isEmpty())
        return std::nullopt;
    if (const auto it = exact.constFind(text); it != exact.cend())
        return *it;
    // Shortcut marks may be in the window's text, in the file, or both.
    if (const auto it = withoutShortcut.constFind(text); it != withoutShortcut.cend())
        return *it;
    const QString bare = text.contains(u'&') ? withoutShortcutMarks(text) : text;
    if (bare != text) {
        if (const auto it = withoutShortcut.constFind(bare); it != withoutShortcut.cend())
            return *it;
        if (const auto it = exact.constFind(bare); it != exact.cend())
            return *it;
    }
    for (const Tpattern &p : patterns) {
        const QRegularExpressionMatch m = p.re.match(text);
        if (!m.hasMatch())
            continue;
        // The parts go into the translation's placeholders in order.
        QString out;
        int part = 1;
        for (qsizetype i = 0; i < p.translation.size(); ++i) {
            const QChar c = p.translation[i];
            if (c == u'%' && i + 1 < p.translation.size()
                && (p.translation[i + 1] == u's' || p.translation[i + 1] == u'd') && part <= m.lastCapturedIndex()) {
                out += m.captured(part++);
                ++i;
                continue;
            }
            out += c;
        }
        return out;
    }
    return std::nullopt;
}
