// The "breadcrumbs" macro: one copy of a pattern per folder on the way
// from the root to the shown folder.

#include "serve/macrosRequestTools.h"

#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "util/asciiCase.h"
#include "util/encodings.h"
#include "vfs/file.h"

namespace {

// Tree names may come from uploads: markers and "%" are written as
// character references so the result expands to nothing but itself.
QString inert(const QString &text)
{
    QString s = encodeMarkers(escapeHTML(text));
    s.replace(u'%', QLatin1String("&#37;"));
    return s;
}

// The folder whose bar a run shows: the current item's folder (a disk
// sub-folder for an item found inside a real folder), else the run's folder.
TfilePtr crumbsNode(const TmacroData &md)
{
    if (!md.f)
        return TfilePtr(md.folder);
    Tfile *parent = md.f->parent();
    if (!parent)
        return {};
    if (md.f->isTemp()) {
        QString dir = md.f->resource;
        const qsizetype cut = dir.lastIndexOf(u'/');
        dir = cut <= 0 ? dir.left(cut + 1) : dir.left(cut);
        if (!dir.isEmpty() && dir != parent->resource)
            if (TfilePtr tmp = Tfile::createTemp(dir, parent))
                return tmp;
    }
    return TfilePtr(parent);
}

void breadcrumbs(TmacroCall &c)
{
    const TfilePtr node = crumbsNode(c.md);
    if (!node) {
        c.setCannotBeUsedHere();
        return;
    }
    qint64 from = 0;
    if (c.hasNamed(QStringLiteral("from"))) {
        const auto v = parseMacroInt(c.named(QStringLiteral("from")));
        if (!v)
            c.fail();
        from = *v;
    }
    c.result = breadcrumbsFor(*node, macroDequote(c.par(0)), from);
}

} // namespace

QString breadcrumbsFor(const Tfile &node, const QString &pattern, qint64 from)
{
    const QStringList urls = inert(node.url(true)).split(u'/');
    const QStringList names = inert(node.getFolder() + node.name + u'/').split(u'/');
    const qint64 last = urls.size() - (urls.last().isEmpty() ? 2 : 1);
    QString out, acc;
    for (qint64 i = 0; i <= last; ++i) {
        acc += urls[i] + u'/';
        if (i < from)
            continue;
        const QString name = i < names.size() ? names[i] : QString();
        // One pass, so a replaced value is never scanned for another symbol.
        for (qsizetype p = 0; p < pattern.size();) {
            const QStringView rest = QStringView(pattern).mid(p);
            if (startsWithText(rest, u"%bread-url%")) {
                out += acc;
                p += 11;
            } else if (startsWithText(rest, u"%bread-name%")) {
                out += name;
                p += 12;
            } else if (startsWithText(rest, u"%bread-idx%")) {
                out += QString::number(i);
                p += 11;
            } else {
                out += pattern[p++];
            }
        }
    }
    return out;
}

void registerBreadcrumbsMacro(TmacroRegistry &r)
{
    r.add(QStringLiteral("breadcrumbs"), 1, breadcrumbs);
}
