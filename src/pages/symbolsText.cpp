// The parts of pages that need no tree: build slots, timing, the template
// chain, page modes, the per-transfer and per-upload texts, page contexts.

#include "pages/folderPage.h"
#include "pages/pageContext.h"
#include "pages/specialPage.h"
#include "pages/symbolHelpers.h"
#include "pages/symbols.h"
#include "script/macroText.h"
#include "tpl/cachedTpls.h"
#include "tpl/mainTemplate.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/files.h"
#include "util/format.h"
#include "util/inertText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Where the next "%s" or "%b" of `text` starts, at `from` or later; -1 if
// none. Most signs of a page are those of encoded URLs: eight characters are
// looked at a step where SSE2 is at hand.
qsizetype nextCounterSign(QStringView text, qsizetype from)
{
    const char16_t *d = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i sign = _mm_set1_epi16(short(u'%')), s = _mm_set1_epi16(short(u's')),
                  b = _mm_set1_epi16(short(u'b'));
    for (; i + 9 <= n; i += 8) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i + 1));
        const int hits = _mm_movemask_epi8(_mm_and_si128(
            _mm_cmpeq_epi16(here, sign), _mm_or_si128(_mm_cmpeq_epi16(next, s), _mm_cmpeq_epi16(next, b))));
        if (hits) return i + __builtin_ctz(unsigned(hits)) / 2;
    }
#endif
    for (; i + 1 < n; ++i)
        if (d[i] == u'%' && (d[i + 1] == u's' || d[i + 1] == u'b')) return i;
    return -1;
}

struct TbuildSlots
{
    int building = 0;
    QHash<QString, TdateTime> notBefore; // by client address
};

TbuildSlots &buildSlots()
{
    static TbuildSlots s;
    return s;
}

// Apostrophes and double quotes as "\u00NN", as the "js encode" macro writes
// them; backslashes too, so the value cannot end a script string early.
QString jsQuote(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        if (c == u'\'' || c == u'"' || c == u'\\')
            out += QStringLiteral("\\u") +
                   QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0');
        else
            out += c;
    }
    return out;
}

QString itemUrlOf(const QString &fn)
{
    return encodeURL(fn, false, true);
}

} // namespace

bool tryBuildSlot(const QString &address)
{
    TbuildSlots &s = buildSlots();
    const auto it = s.notBefore.constFind(address);
    if (it != s.notBefore.constEnd() && now() < *it) return false;
    if (s.building >= kMaxBuildingPages) return false;
    ++s.building;
    s.notBefore.insert(address, now() + 1);
    return true;
}

void releaseBuildSlot(const QString &address)
{
    TbuildSlots &s = buildSlots();
    if (s.building >= kMaxBuildingPages)
        s.notBefore.insert(address, now() + oneSecond);
    else
        s.notBefore.remove(address);
    if (s.building > 0) --s.building;
    const TdateTime t = now();
    for (auto it = s.notBefore.begin(); it != s.notBefore.end();)
        it = *it < t ? s.notBefore.erase(it) : std::next(it);
}

QString buildTimeText(qint64 elapsedMs)
{
    return QString::number(double(elapsedMs) / 1000.0, 'f', 3);
}

void replacePageCounters(QString &text, const QString &buildTime)
{
    static const QString sequential = QStringLiteral("%sequential%"),
                         buildTimeSymbol = QStringLiteral("%build-time%");
    struct Tmatch
    {
        qsizetype at, length;
        QString value;
    };
    std::vector<Tmatch> matches;
    qsizetype moved = 0; // what replacing in place would move
    int n = 0;
    for (qsizetype at = nextCounterSign(text, 0); at >= 0; at = nextCounterSign(text, at)) {
        const QStringView rest = QStringView(text).mid(at);
        if (rest.startsWith(sequential)) {
            matches.push_back({at, sequential.size(), QString::number(++n)});
        } else if (rest.startsWith(buildTimeSymbol)) {
            matches.push_back({at, buildTimeSymbol.size(), buildTime});
        } else {
            ++at;
            continue;
        }
        moved += text.size() - at;
        at += matches.back().length;
    }
    if (matches.empty()) return;
    // A few near the end (the build time in a footer) are replaced in place,
    // last first; else one pass copies the page once, however many items
    // number themselves.
    if (moved <= text.size() / 4) {
        for (auto m = matches.crbegin(); m != matches.crend(); ++m)
            text.replace(m->at, m->length, m->value);
        return;
    }
    QString out;
    out.reserve(text.size() + 64);
    qsizetype copied = 0; // text before this index is in out
    for (const Tmatch &m : matches) {
        out += QStringView(text).mid(copied, m.at - copied);
        out += m.value;
        copied = m.at + m.length;
    }
    out += QStringView(text).mid(copied);
    text = std::move(out);
}

TtplPtr pageTemplateChain(const QString &diffText, const TtplPtr &own, const TtplPtr &below)
{
    TtplPtr under = own ? TtplPtr(own->withOver(below)) : below;
    return std::make_shared<Ttpl>(diffText, under);
}

TpageMode pageModeFor(const QString &name)
{
    if (name == u"ban" || name == u"deny" || name == u"login") return PAGE_DENY;
    if (name == u"not found") return PAGE_NOT_FOUND;
    if (name == u"unauth") return PAGE_UNAUTHORIZED;
    if (name == u"overload" || name == u"max contemp downloads") return PAGE_OVERLOAD;
    return PAGE_REPLY;
}

QString progressEntryText(QString s, const TpageTransfer &t)
{
    // Names and users come from the clients: shown, never run.
    replaceSym(s, "%item-user%", makeInert(t.user));
    replaceSym(s, "%perc%",
               QString::number(t.total > 0 ? qint64(double(t.done) / double(t.total) * 100) : 0));
    // Shown in HTML: escaped like an item name.
    replaceSym(s, "%filename-js%", jsQuote(makeInert(t.fileName)));
    replaceSym(s, "%filename%", makeInert(escapeHTML(t.fileName)));
    replaceSym(s, "%done-bytes%", QString::number(t.done));
    replaceSym(s, "%total-bytes%", QString::number(t.total));
    replaceSym(s, "%done%", smartSize(t.done));
    replaceSym(s, "%total%", smartSize(t.total));
    replaceSym(s, "%time-left%", t.timeLeft);
    replaceSym(s, "%speed-kb%", QString::number(t.averageSpeed / 1000.0, 'f', 1));
    replaceSym(s, "%item-ip%", t.address);
    replaceSym(s, "%item-port%", QString::number(t.port));
    return s;
}

QString uploadResultText(QString s, const TpageUpload &u, int idx, const QString &folderResource)
{
    // The name the client gave and the reason: shown, never run.
    replaceSym(s, "%item-name%", makeInert(escapeHTML(u.fn)));
    replaceSym(s, "%item-url%", macroQuote(itemUrlOf(u.fn)));
    replaceSym(s, "%item-size%", smartSize(u.size));
    replaceSym(s, "%item-resource%", makeInert(templatePath(folderResource + u'/' + u.fn)));
    replaceSym(s, "%idx%", QString::number(idx));
    replaceSym(s, "%reason%", makeInert(u.reason));
    replaceSym(s, "%speed%", QString::number(u.speed / 1000));
    replaceSym(s, "%smart-speed%", smartSize(u.speed));
    return s;
}

TserverInfo &serverInfo()
{
    static TserverInfo s;
    return s;
}

QString uptimeText(bool listening, double seconds)
{
    if (!listening) return QStringLiteral("server down");
    const qint64 total = qint64(seconds);
    const qint64 days = total / 86400, rest = total % 86400;
    const QString hms = QStringLiteral("%1:%2:%3")
                            .arg(rest / 3600, 2, 10, QLatin1Char('0'))
                            .arg(rest % 3600 / 60, 2, 10, QLatin1Char('0'))
                            .arg(rest % 60, 2, 10, QLatin1Char('0'));
    return days >= 1 && total > 86400 ? QStringLiteral("(%1 days) ").arg(days) + hms : hms;
}

// ---- page contexts ----

namespace {
QList<TpageContext *> &activeContexts()
{
    static QList<TpageContext *> list;
    return list;
}
std::function<TpageContext *(TmacroConn *)> &resolver()
{
    static std::function<TpageContext *(TmacroConn *)> r;
    return r;
}
} // namespace

TpageContext *pageContextOf(TmacroConn *cd)
{
    if (!cd) return nullptr;
    const QList<TpageContext *> &active = activeContexts();
    for (qsizetype i = active.size() - 1; i >= 0; --i)
        if (active[i]->macroConn() == cd) return active[i];
    return resolver() ? resolver()(cd) : nullptr;
}

void setPageContextResolver(std::function<TpageContext *(TmacroConn *)> r)
{
    resolver() = std::move(r);
}

TpageContextScope::TpageContextScope(TpageContext *c) : ctx(c)
{
    if (ctx) activeContexts().append(ctx);
}

TpageContextScope::~TpageContextScope()
{
    if (ctx) activeContexts().removeOne(ctx);
}

TpageOptions &pageOptions()
{
    static TpageOptions o;
    return o;
}

// ---- built-in templates ----

static void initPagesResources()
{
    Q_INIT_RESOURCE(pages);
}

QString builtinTemplateText(const QString &name)
{
    initPagesResources();
    QFile f(QStringLiteral(":/zof/") + name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

TtplPtr fileListTplFor(const QString &folder)
{
    if (!folder.isEmpty()) {
        const QString custom = QDir(folder).filePath(QStringLiteral("zof.filelist.tpl"));
        if (QFileInfo(custom).isFile())
            if (TtplPtr t = cachedTpls().getTplFor(custom))
                return t;
    }
    return fileListTpl();
}
