#include "util/regex.h"

#include <QHash>
#include <list>

namespace {

constexpr qsizetype recentLimit = 100;
constexpr qsizetype recentTrim = 10;

QRegularExpression::PatternOptions optionsFor(QStringView modifiers)
{
    QRegularExpression::PatternOptions opts;
    bool on = true;
    auto set = [&](QRegularExpression::PatternOption o, bool enable) {
        if (enable)
            opts |= o;
        else
            opts &= ~QRegularExpression::PatternOptions(o);
    };
    for (QChar c : modifiers) {
        switch (c.toLower().unicode()) {
        case u'-': on = false; break;
        case u'i': set(QRegularExpression::CaseInsensitiveOption, on); break;
        case u'm': set(QRegularExpression::MultilineOption, on); break;
        case u's': set(QRegularExpression::DotMatchesEverythingOption, on); break;
        case u'x': set(QRegularExpression::ExtendedPatternSyntaxOption, on); break;
        // Greedy repetition is the default; turning it off makes it lazy.
        case u'g': set(QRegularExpression::InvertedGreedinessOption, !on); break;
        default: break; // "r" and anything else change nothing here
        }
    }
    return opts;
}

class TregexCache
{
public:
    QRegularExpression get(const QString &expression, const QString &modifiers)
    {
        const bool permanent = modifiers.contains(u'!');
        QString mods = modifiers;
        mods.remove(u'!');
        const QString key = mods + QChar(0xFF) + expression;
        if (permanent) {
            auto it = m_permanent.constFind(key);
            if (it == m_permanent.constEnd())
                it = m_permanent.insert(key, compile(expression, mods));
            return *it;
        }
        auto it = m_recentIndex.find(key);
        if (it != m_recentIndex.end()) {
            // Most recently used at the back.
            m_recent.splice(m_recent.end(), m_recent, *it);
            return m_recent.back().second;
        }
        m_recent.emplace_back(key, compile(expression, mods));
        m_recentIndex.insert(key, std::prev(m_recent.end()));
        if (qsizetype(m_recent.size()) > recentLimit) {
            for (qsizetype i = 0; i < recentTrim; ++i) {
                m_recentIndex.remove(m_recent.front().first);
                m_recent.pop_front();
            }
        }
        return m_recent.back().second;
    }

    TregexCacheSizes sizes() const { return {m_permanent.size(), qsizetype(m_recent.size())}; }

    void clear()
    {
        m_permanent.clear();
        m_recent.clear();
        m_recentIndex.clear();
    }

private:
    static QRegularExpression compile(const QString &expression, const QString &mods)
    {
        QRegularExpression re(expression, optionsFor(mods));
        re.optimize();
        return re;
    }

    using Recent = std::list<std::pair<QString, QRegularExpression>>;
    QHash<QString, QRegularExpression> m_permanent;
    Recent m_recent;
    QHash<QString, Recent::iterator> m_recentIndex;
};

TregexCache &cache()
{
    static TregexCache c;
    return c;
}

// Qt's defaults (dot not matching line breaks) are the base the caller's
// letters apply to.
QRegularExpression prepared(const QString &expression, const QString &modifiers, QString *error)
{
    QRegularExpression re = cachedRegex(expression, modifiers);
    if (error)
        *error = re.isValid() ? QString() : re.errorString();
    return re;
}

QRegularExpressionMatch firstMatch(const QRegularExpression &re, const QString &text, qsizetype startAt)
{
    const qsizetype from = std::max<qsizetype>(startAt, 1) - 1;
    if (from > text.size())
        return QRegularExpressionMatch();
    return re.match(text, from);
}

// "$n", "${n}" and "\c" in a replacement.
void appendSubstitution(QString &out, QStringView replacement, const QRegularExpressionMatch &m)
{
    const qsizetype n = replacement.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = replacement[i];
        if (c == u'\\' && i + 1 < n) {
            out += replacement[++i];
            continue;
        }
        if (c == u'$' && i + 1 < n) {
            qsizetype j = i + 1;
            const bool braced = replacement[j] == u'{';
            if (braced)
                ++j;
            const qsizetype digits = j;
            while (j < n && replacement[j].isDigit() && replacement[j].unicode() < 128 && j - digits < 4)
                ++j;
            if (j > digits && (!braced || (j < n && replacement[j] == u'}'))) {
                const int group = replacement.mid(digits, j - digits).toInt();
                if (group <= m.lastCapturedIndex())
                    out += m.capturedView(group);
                i = braced ? j : j - 1;
                continue;
            }
        }
        out += c;
    }
}

} // namespace

QRegularExpression cachedRegex(const QString &expression, const QString &modifiers)
{
    return cache().get(expression, modifiers);
}

qsizetype regexFind(const QString &text, const QString &expression, const QString &modifiers,
                    QStringList *groups, qsizetype startAt, QString *error)
{
    if (groups)
        groups->clear();
    const QRegularExpression re = prepared(expression, modifiers, error);
    if (!re.isValid())
        return 0;
    const QRegularExpressionMatch m = firstMatch(re, text, startAt);
    if (!m.hasMatch())
        return 0;
    if (groups)
        for (int g = 0; g <= re.captureCount(); ++g)
            groups->append(m.captured(g));
    return m.capturedStart() + 1;
}

QString regexGetGroup(const QString &text, const QString &expression, int groupIndex,
                      const QString &modifiers, qsizetype startAt, QString *error)
{
    const QRegularExpression re = prepared(expression, modifiers, error);
    if (!re.isValid())
        return QString();
    const QRegularExpressionMatch m = firstMatch(re, text, startAt);
    return m.hasMatch() ? m.captured(groupIndex) : QString();
}

QString regexReplace(const QString &text, const QString &expression, const QString &replacement,
                     const QString &modifiers, QString *error)
{
    const QRegularExpression re = prepared(expression, modifiers, error);
    if (!re.isValid())
        return text;
    QString out;
    qsizetype last = 0;
    auto it = re.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        appendSubstitution(out, replacement, m);
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out;
}

TregexCacheSizes regexCacheSizes()
{
    return cache().sizes();
}

void clearRegexCache()
{
    cache().clear();
}
