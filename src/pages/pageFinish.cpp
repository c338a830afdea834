#include "pages/pageFinish.h"

#include "pages/folderPage.h"

#include <QList>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// `text` with every `mark` replaced by `insert`. The usual single mark puts
// the text around the (big) insert in its own buffer, without a copy of it.
QString joinAround(const QString &text, const QString &mark, QString &&insert)
{
    QList<qsizetype> at;
    for (qsizetype i = text.indexOf(mark); i >= 0; i = text.indexOf(mark, i + mark.size()))
        at.append(i);
    if (at.isEmpty()) return text;
    if (at.size() == 1) {
        // In place: QString::insert at the front would move the insert to a
        // new buffer to make room there.
        const QStringView before = QStringView(text).left(at[0]);
        const QStringView after = QStringView(text).mid(at[0] + mark.size());
        QString out = std::move(insert);
        const qsizetype middle = out.size();
        out.resize(before.size() + middle + after.size());
        QChar *d = out.data();
        std::memmove(d + before.size(), d, size_t(middle) * sizeof(QChar));
        std::copy(before.begin(), before.end(), d);
        std::copy(after.begin(), after.end(), d + before.size() + middle);
        return out;
    }
    QString out;
    out.reserve(text.size() + at.size() * (insert.size() - mark.size()));
    qsizetype from = 0;
    for (const qsizetype i : std::as_const(at)) {
        out += QStringView(text).mid(from, i - from);
        out += insert;
        from = i + mark.size();
    }
    out += QStringView(text).mid(from);
    return out;
}

// Whether a counter may start in the page and end in the list: a "%" close
// enough before a stand-in to begin one (the counters are 12 characters).
bool counterMayReachList(const QString &page)
{
    constexpr qsizetype kReach = 11;
    const QString &standIn = listStandIn();
    for (qsizetype at = page.indexOf(standIn); at >= 0; at = page.indexOf(standIn, at + standIn.size()))
        if (QStringView(page).mid(qMax(0, at - kReach), qMin(at, kReach)).contains(u'%')) return true;
    return false;
}

} // namespace

void addListMarks(TlistMarks &marks, QStringView text)
{
    const char16_t *d = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool brace = false, sign = false;
#if defined(__SSE2__)
    // Sixteen characters a step, each beside the one after it, narrowed to
    // bytes (a character above 255 becomes 0 or 255, none of those looked
    // for). No branch in the loop: items are short, and most hold neither.
    const __m128i open = _mm_set1_epi8('{'), close = _mm_set1_epi8('}'), percent = _mm_set1_epi8('%'),
                  s = _mm_set1_epi8('s'), b = _mm_set1_epi8('b');
    __m128i braces = _mm_setzero_si128(), signs = _mm_setzero_si128();
    const auto bytesAt = [d](qsizetype at) {
        return _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(d + at)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + at + 8)));
    };
    const auto look = [&](qsizetype at) {
        const __m128i here = bytesAt(at), next = bytesAt(at + 1);
        braces = _mm_or_si128(braces, _mm_or_si128(_mm_cmpeq_epi8(here, open), _mm_cmpeq_epi8(here, close)));
        signs = _mm_or_si128(signs, _mm_and_si128(_mm_cmpeq_epi8(here, percent),
                                                  _mm_or_si128(_mm_cmpeq_epi8(next, s), _mm_cmpeq_epi8(next, b))));
    };
    for (; i + 17 <= n; i += 16)
        look(i);
    if (i > 0 && i < n - 1) {
        look(n - 17); // the last ones, read again in part
        i = n - 1;
    }
    brace = _mm_movemask_epi8(braces) != 0;
    sign = _mm_movemask_epi8(signs) != 0;
#endif
    for (; i < n; ++i) {
        const char16_t c = d[i];
        brace |= (c == u'{') | (c == u'}');
        sign |= c == u'%' && i + 1 < n && (d[i + 1] == u's' || d[i + 1] == u'b');
    }
    marks.brace |= brace;
    marks.counterSign |= sign;
}

const QString &listStandIn()
{
    static const QString standIn = QStringLiteral("\uFDD0zof list\uFDD1");
    return standIn;
}

QString finishFolderPage(QString page, QString &&list, const TlistMarks &marks,
                         const QString &buildTime)
{
    if (marks.brace) {
        // The quote markers go as the page pass would have removed them.
        static const QString quoteOpen = QStringLiteral("{:"), quoteClose = QStringLiteral(":}");
        if (list.contains(u'{')) list.remove(quoteOpen);
        if (list.contains(u'}')) list.remove(quoteClose);
    }
    // A sign in the list, one that removed quote markers may have made, or
    // a counter across one of its edges: the list is read with the page.
    const bool listMayCount = marks.counterSign || marks.brace ||
                              (!list.isEmpty() && list.back() == u'%') || counterMayReachList(page);
    if (listMayCount) {
        page = joinAround(page, listStandIn(), std::move(list));
        replacePageCounters(page, buildTime);
        return page;
    }
    replacePageCounters(page, buildTime);
    return joinAround(page, listStandIn(), std::move(list));
}
