#include "util/masks.h"

#include "util/asciiCase.h"

#include <QList>
#include <QVarLengthArray>

#include <optional>

namespace {

// Letters compare by their simple upper-case mapping, which includes the
// ASCII folding and is the same in every locale.
inline bool sameChar(QChar a, QChar b) noexcept
{
    if (a == b)
        return true;
    const char16_t x = a.unicode(), y = b.unicode();
    if (x < 128 && y < 128)
        return asciiLower(x) == asciiLower(y);
    return a.toUpper() == b.toUpper();
}

class TwildcardMatcher
{
public:
    TwildcardMatcher(QStringView pattern, QStringView text, bool wholeText, QStringView stopChars)
        : m_pat(pattern), m_text(text), m_whole(wholeText), m_stops(stopChars)
    {}

    qsizetype run()
    {
        if (!m_stops.isEmpty() && !m_whole)
            m_text = m_text.left(reachableLength());
        const bool stopFree = m_stops.isEmpty() || !containsStop(m_text);
        if (stopFree) {
            m_stops = {};
            if (m_whole)
                return globMatch() ? m_text.size() : 0;
            splitSegments();
            return greedyPrefixMatch();
        }
        splitSegments();
        return dynamicMatch();
    }

private:
    struct Segment {
        qsizetype start;
        qsizetype len;
    };

    bool isStop(QChar c) const noexcept { return m_stops.contains(c); }

    bool containsStop(QStringView s) const noexcept
    {
        for (QChar c : s)
            if (isStop(c))
                return true;
        return false;
    }

    bool charMatches(QChar p, QChar t) const noexcept
    {
        return sameChar(p, t) || (p == u'?' && !isStop(t));
    }

    // The pattern as literal segments separated by runs of "*"; a trailing
    // run leaves an empty last segment.
    void splitSegments()
    {
        qsizetype start = 0, i = 0;
        const qsizetype m = m_pat.size();
        while (i < m) {
            if (m_pat[i] != u'*') {
                ++i;
                continue;
            }
            m_segs.append({start, i - start});
            while (i < m && m_pat[i] == u'*')
                ++i;
            start = i;
        }
        m_segs.append({start, m - start});
        m_trailingStar = m > 0 && m_pat[m - 1] == u'*';
    }

    // Without whole-text matching, nothing past the point where a match would
    // have to take one stop character more than the pattern's literal
    // characters can take matters: the text is cut there.
    qsizetype reachableLength() const
    {
        qsizetype literalStops = 0;
        for (QChar p : m_pat)
            if (p != u'*' && p != u'?')
                for (QChar s : m_stops)
                    if (sameChar(p, s)) {
                        ++literalStops;
                        break;
                    }
        for (qsizetype i = 0; i < m_text.size(); ++i)
            if (isStop(m_text[i]) && literalStops-- == 0)
                return i;
        return m_text.size();
    }

    bool segmentAt(const Segment &s, qsizetype t) const noexcept
    {
        if (t + s.len > m_text.size())
            return false;
        for (qsizetype j = 0; j < s.len; ++j)
            if (!charMatches(m_pat[s.start + j], m_text[t + j]))
                return false;
        return true;
    }

    // Whole text, no stop characters: the classic matcher that only ever
    // backtracks to the last star, O(pattern x text) at worst.
    bool globMatch() const noexcept
    {
        const qsizetype m = m_pat.size(), n = m_text.size();
        qsizetype p = 0, t = 0, starP = -1, starT = 0;
        while (t < n) {
            if (p < m && m_pat[p] == u'*') {
                starP = p++;
                starT = t;
            } else if (p < m && charMatches(m_pat[p], m_text[t])) {
                ++p;
                ++t;
            } else if (starP >= 0) {
                p = starP + 1;
                t = ++starT;
            } else {
                return false;
            }
        }
        while (p < m && m_pat[p] == u'*')
            ++p;
        return p == m;
    }

    // Prefix match in a text without stop characters: each segment at its
    // earliest place is what a leftmost search finds first, since a later
    // place never leaves more room for the segments after it.
    qsizetype greedyPrefixMatch() const noexcept
    {
        const qsizetype n = m_text.size();
        const qsizetype k = m_segs.size() - 1;
        if (!segmentAt(m_segs[0], 0))
            return 0;
        qsizetype t = m_segs[0].len;
        for (qsizetype level = 1; level <= k; ++level) {
            if (level == k && m_trailingStar)
                return n;
            qsizetype p = t;
            while (p < n && !segmentAt(m_segs[level], p))
                ++p;
            if (p >= n)
                return 0;
            t = p + m_segs[level].len;
        }
        return t;
    }

    // The general case (stop characters inside the text): the leftmost
    // search, evaluated level by level from the last segment back, so that
    // every (segment, position) pair is computed once.
    qsizetype dynamicMatch()
    {
        const qsizetype n = m_text.size();
        const qsizetype k = m_segs.size() - 1;
        QVarLengthArray<qsizetype, 256> nextStop(n + 1);
        nextStop[n] = n;
        for (qsizetype t = n - 1; t >= 0; --t)
            nextStop[t] = isStop(m_text[t]) ? t : nextStop[t + 1];

        QVarLengthArray<qsizetype, 256> val(n + 1), nextVal(n + 1), nextSucc(n + 2);
        auto evaluate = [&](qsizetype level, qsizetype t) -> qsizetype {
            const Segment &seg = m_segs[level];
            if (!segmentAt(seg, t))
                return 0;
            const qsizetype count = seg.len, ti = t + seg.len;
            if (level == k)
                return (m_whole && ti < n) ? 0 : count;
            if (m_trailingStar && level == k - 1) {
                const qsizetype s = nextStop[ti];
                if (m_whole && s < n)
                    return 0;
                return count + (s - ti);
            }
            if (m_whole && level + 1 == k) {
                if (ti >= n || isStop(m_text[ti]))
                    return 0;
                const qsizetype cand = n - m_segs[k].len;
                if (cand < ti || nextStop[ti] < cand)
                    return 0;
                const qsizetype r = nextVal[cand];
                return r ? count + (cand - ti) + r : 0;
            }
            const qsizetype p = nextSucc[ti];
            if (p < nextStop[ti])
                return count + (p - ti) + nextVal[p];
            return 0;
        };

        const qsizetype top = m_trailingStar ? k - 1 : k;
        for (qsizetype level = top; level >= 1; --level) {
            for (qsizetype t = 0; t <= n; ++t)
                val[t] = evaluate(level, t);
            std::swap(val, nextVal);
            nextSucc[n + 1] = n + 1;
            for (qsizetype t = n; t >= 0; --t)
                nextSucc[t] = nextVal[t] > 0 ? t : nextSucc[t + 1];
        }
        return evaluate(0, 0);
    }

    QStringView m_pat;
    QStringView m_text;
    bool m_whole;
    QStringView m_stops;
    QVarLengthArray<Segment, 8> m_segs;
    bool m_trailingStar = false;
};

// The common "*.ext" piece (one leading star, no other wildcard) as a
// suffix test; no answer for any other piece.
std::optional<bool> endsWithStarSuffix(QStringView piece, QStringView text)
{
    if (piece.size() < 2 || piece[0] != u'*')
        return std::nullopt;
    const QStringView suffix = piece.mid(1);
    for (QChar c : suffix)
        if (c == u'*' || c == u'?')
            return std::nullopt;
    if (text.size() < suffix.size())
        return false;
    const QStringView end = text.last(suffix.size());
    for (qsizetype i = 0; i < suffix.size(); ++i)
        if (!sameChar(suffix[i], end[i]))
            return false;
    return true;
}

// Strips leading backslashes; true when their number is odd.
bool takeInversion(QStringView &mask)
{
    qsizetype i = 0;
    while (i < mask.size() && mask[i] == u'\\')
        ++i;
    mask = mask.mid(i);
    return i % 2 == 1;
}

// True when `test` holds for one of the ";"-separated pieces (empty ones included).
template<class Test>
bool anyPiece(QStringView mask, Test test)
{
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = mask.indexOf(u';', start);
        if (test(mask.mid(start, (end < 0 ? mask.size() : end) - start)))
            return true;
        if (end < 0)
            return false;
        start = end + 1;
    }
}

bool matchAddressPiece(QStringView piece, const QString &address, const QString &key6, quint32 ip4)
{
    if (sameText(piece, u"lan"))
        return isIpAddress(address) && isLocalAddress(address);

    const qsizetype dash = piece.indexOf(u'-');
    if (dash >= 0 && piece.indexOf(u'-', dash + 1) < 0) {
        const QStringView a = piece.left(dash), b = piece.mid(dash + 1);
        if (key6.isEmpty()) {
            // An IPv4 client: both ends must be IPv4 texts.
            if (a.contains(u':') || b.contains(u':'))
                return false;
            return ipv4ToInt(a.toString()) <= ip4 && ip4 <= ipv4ToInt(b.toString());
        }
        const QString ka = ipv6Key(a), kb = ipv6Key(b);
        return !ka.isEmpty() && !kb.isEmpty() && ka <= key6 && key6 <= kb;
    }

    const qsizetype slash = piece.indexOf(u'/');
    if (key6.isEmpty() && slash >= 0 && piece.indexOf(u'/', slash + 1) < 0) {
        bool ok = false;
        const int bits = piece.mid(slash + 1).toInt(&ok);
        if (!ok || bits < 0 || bits > 32)
            return false;
        if (bits == 0)
            return true;
        const quint32 netmask = ~quint32(0) << (32 - bits);
        return (ipv4ToInt(piece.left(slash).toString()) & netmask) == (ip4 & netmask);
    }

    return wildcardMatchLength(piece, address, true) > 0;
}

} // namespace

qsizetype wildcardMatchLength(QStringView pattern, QStringView text, bool wholeText, QStringView stopChars)
{
    return TwildcardMatcher(pattern, text, wholeText, stopChars).run();
}

bool matchFileMask(QStringView mask, QStringView text)
{
    const bool invert = takeInversion(mask);
    if (mask.isEmpty())
        return !invert;
    const bool found = anyPiece(mask, [&](QStringView piece) {
        // The general matcher only when the quick test cannot answer.
        const std::optional<bool> quick = endsWithStarSuffix(piece, text);
        return quick ? *quick : wildcardMatchLength(piece, text, true) > 0;
    });
    return found != invert;
}

bool matchAddressMask(QStringView mask, const QString &address)
{
    const bool invert = takeInversion(mask);
    const QString key6 = ipv6Key(address);
    const quint32 ip4 = key6.isEmpty() ? ipv4ToInt(address) : 0;
    const bool found = anyPiece(mask, [&](QStringView piece) {
        return !piece.isEmpty() && matchAddressPiece(piece, address, key6, ip4);
    });
    return found != invert;
}

bool isAddressMaskValid(QStringView mask)
{
    takeInversion(mask);
    if (mask.endsWith(u';'))
        mask.chop(1);
    if (mask.isEmpty())
        return true;
    for (QStringView piece : mask.split(u';')) {
        if (sameText(piece, u"lan"))
            continue;
        const qsizetype dash = piece.indexOf(u'-');
        const QStringView a = dash < 0 ? piece : piece.left(dash);
        const QStringView b = dash < 0 ? QStringView() : piece.mid(dash + 1);
        if (!b.isEmpty() && !(isIpAddress(a) && isIpAddress(b)))
            return false;
        if (a.isEmpty())
            return false;
        for (QChar c : a) {
            const char16_t u = c.unicode();
            const bool allowed = u == u'?' || u == u'*' || u == u'.' || u == u':'
                || (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f');
            if (!allowed)
                return false;
        }
    }
    return true;
}

QString nameForAddress(const QStringList &pairs, const QString &address)
{
    for (qsizetype i = 0; i + 1 < pairs.size(); i += 2)
        if (matchAddressMask(pairs[i + 1], address))
            return pairs[i];
    return {};
}

bool TfileMaskMemo::matches(const QString &mask, const QString &name)
{
    if (!primed || mask != memoFor) {
        primed = true;
        memoFor = mask;
        known.clear();
    }
    const auto it = known.constFind(name);
    if (it != known.cend())
        return *it;
    const bool match = matchFileMask(mask, name);
    if (known.size() >= maxNames)
        known.clear();
    known.insert(name, match);
    return match;
}
