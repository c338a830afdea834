#include "pages/symbols.h"

#include "macros/macrosRegistration.h"
#include "pages/pageContext.h"
#include "pages/symbolHelpers.h"
#include "script/macroData.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "tpl/mainTemplate.h"
#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/files.h"
#include "util/format.h"
#include "util/inertText.h"
#include "util/masks.h"
#include "vfs/account.h"
#include "vfs/comments.h"
#include "vfs/file.h"

#include <QHash>
#include <QLocale>

#include <QDir>
#include <QStringView>

#include <optional>
#include <QHash>
#include <QLocale>

namespace {

using Handler = std::function<bool(TmacroData &, QString &)>;

QString localDateTime(double d)
{
    // Formatting is costly and a listing shows many times of the same
    // second or minute. Unless the locale's short format shows fractions or
    // a zone, its text depends only on the second (or, without seconds, the
    // minute) and is remembered by it; the step met last is at hand.
    const QLocale locale;
    static QLocale memoLocale = QLocale::c();
    static qint64 stepMs = 0;
    static QHash<qint64, QString> memo;
    static std::optional<qint64> lastStep;
    static QString lastText;
    if (locale != memoLocale || memo.isEmpty()) {
        memoLocale = locale;
        memo.clear();
        lastStep.reset();
        const QString format = locale.dateTimeFormat(QLocale::ShortFormat);
        stepMs = format.contains(u'z') || format.contains(u't') ? 0 : format.contains(u's') ? 1000 : 60000;
    }
    const std::optional<qint64> step = stepMs ? stepOf(d, stepMs) : std::nullopt;
    if (!step)
        return locale.toString(fromDateTime(d), QLocale::ShortFormat);
    if (step == lastStep)
        return lastText;
    const auto it = memo.constFind(*step);
    if (it != memo.cend()) {
        lastStep = step;
        lastText = *it;
        return *it;
    }
    if (memo.size() >= 4096)
        memo.clear();
    const QString text = locale.toString(fromDateTime(d), QLocale::ShortFormat);
    memo.insert(*step, text);
    lastStep = step;
    lastText = text;
    return text;
}

// Whether a name is the same once HTML-escaped and made inert: none of the
// characters HTML escapes, no "%" and no brace or pipe of a marker.
bool plainName(QStringView name)
{
    for (const QChar c : name) {
        switch (c.unicode()) {
        case u'&': case u'<': case u'>': case u'"': case u'\'':
        case u'%': case u'{': case u'}': case u'|':
            return false;
        default:
            break;
        }
    }
    return true;
}

// The text of a count. Most are small (a listing's download counts): their
// texts are made once and shared, not allocated for every item.
QString countText(int n)
{
    static QString small[64];
    if (n < 0 || n >= 64) return QString::number(n);
    QString &text = small[n];
    if (text.isNull()) text = QString::number(n);
    return text;
}

QString extensionOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1);
}

void generalItem(TmacroRegistry &r)
{
    const auto add = [&r](const char *s, Handler h) { r.addSymbol(QString::fromLatin1(s), std::move(h)); };
    add("%item-icon%", [](TmacroData &md, QString &v) {
        v = itemIconUrl(md.f);
        return !v.isEmpty();
    });
    add("%item-archive%", [](TmacroData &md, QString &v) {
        v = md.f && md.f->hasRecursive(FA_ARCHIVABLE)
                ? sectionOf(md.tpl, QStringLiteral("item-archive"))
                : QString();
        return true;
    });
    add("%item-dl-count%", [](TmacroData &md, QString &v) {
        v = md.f ? countText(md.f->downloadCount()) : QString();
        return true;
    });
}

void folder(TmacroRegistry &r)
{
    const auto add = [&r](const char *s, auto h) {
        r.addSymbol(QString::fromLatin1(s), [h](TmacroData &md, QString &v) {
            if (!md.folder) return false;
            v = h(md, *md.folder);
            return true;
        });
    };
    add("%folder-item-comment%",
        [](TmacroData &, const Tfile &f) { return getDynamicComment(f, false); });
    add("%folder-comment%", [](TmacroData &, const Tfile &f) {
        const QString cmt = getDynamicComment(f, false);
        if (cmt.isEmpty()) return QString();
        QString s = sectionOf(mainTpl(), QStringLiteral("folder-comment"));
        s.replace(QLatin1String("%item-comment%"), cmt, Qt::CaseInsensitive);
        return s;
    });
    add("%diskfree%", [](TmacroData &, const Tfile &f) {
        return smartSize(f.diskfree() - pageOptions().minDiskSpace * 1048576);
    });
    add("%up%", [](TmacroData &md, const Tfile &f) {
        return f.isRoot() ? QString() : sectionOf(md.tpl, QStringLiteral("up"));
    });
    add("%encoded-folder%", [](TmacroData &, const Tfile &f) { return f.url(true); });
    add("%parent-folder%", [](TmacroData &, const Tfile &f) { return f.parentURL(); });
    // Names and paths: the engine quotes every "folder" symbol against
    // macros; their symbols are disarmed here (the URLs above are encoded).
    add("%folder-name%", [](TmacroData &, const Tfile &f) { return disarmSymbols(f.name); });
    add("%folder-resource%",
        [](TmacroData &, const Tfile &f) { return disarmSymbols(templatePath(f.resource)); });
    add("%folder%", [](TmacroData &, const Tfile &f) {
        return f.isRoot() ? QStringLiteral("/") : disarmSymbols(f.getFolder() + f.name + u'/');
    });
}

void item(TmacroRegistry &r)
{
    const auto add = [&r](const char *s, auto h) {
        r.addSymbol(QString::fromLatin1(s), [h](TmacroData &md, QString &v) {
            if (!md.f) return false;
            v = h(md, *md.f);
            return true;
        });
    };
    add("%item-name%", [](TmacroData &md, const Tfile &f) {
        QString n = f.name;
        if (md.hideExt && f.isFile()) {
            const qsizetype dot = n.lastIndexOf(u'.');
            if (dot > 0) n.truncate(dot);
        }
        // Most names hold nothing to escape or to disarm: shown as they are.
        if (plainName(n))
            return n;
        // Escaped first, so the references that keep it inert survive.
        return makeInert(escapeHTML(n));
    });
    add("%item-type%", [](TmacroData &, const Tfile &f) {
        return QString::fromLatin1(f.isLink() ? "link" : f.isFolder() ? "folder" : "file");
    });
    add("%item-size-b%", [](TmacroData &, const Tfile &f) { return QString::number(f.size); });
    add("%item-size-kb%",
        [](TmacroData &, const Tfile &f) { return QString::number(f.size / 1024); });
    add("%item-size%", [](TmacroData &, const Tfile &f) { return smartSize(f.size); });
    add("%item-resource%",
        [](TmacroData &, const Tfile &f) { return makeInert(templatePath(f.resource)); });
    add("%item-ext%", [](TmacroData &, const Tfile &f) { return makeInert(extensionOf(f.name)); });
    add("%item-added-dt%", [](TmacroData &, const Tfile &f) { return formatMacroNumber(f.atime); });
    add("%item-modified-dt%",
        [](TmacroData &, const Tfile &f) { return formatMacroNumber(f.mtime); });
    add("%item-added%", [](TmacroData &, const Tfile &f) { return localDateTime(f.atime); });
    add("%item-modified%", [](TmacroData &, const Tfile &f) {
        return f.mtime == 0 ? QStringLiteral("error") : localDateTime(f.mtime);
    });
    add("%item-comment%", [](TmacroData &, const Tfile &f) { return getDynamicComment(f, true); });
    add("%item-url%", [](TmacroData &, const Tfile &f) { return macroQuote(f.url(false)); });
}

void templates(TmacroRegistry &r)
{
    r.addSymbol(QStringLiteral("%new%"), [](TmacroData &md, QString &v) {
        if (!md.f || !md.tpl) return false;
        v = md.f->isNew() ? md.tpl->getTxt(QStringLiteral("newfile")) : QString();
        return true;
    });
    r.addSymbol(QStringLiteral("%comment%"), [](TmacroData &md, QString &v) {
        if (!md.f || !md.tpl) return false;
        v = getDynamicComment(*md.f, true).isEmpty() ? QString()
                                                     : md.tpl->getTxt(QStringLiteral("comment"));
        return true;
    });
    r.addSymbol(QStringLiteral("%archive%"), [](TmacroData &md, QString &v) {
        if (!md.tpl) return false;
        v = md.archiveAvailable ? md.tpl->getTxt(QStringLiteral("archive")) : QString();
        return true;
    });
}

} // namespace

QString itemIconUrl(const Tfile *f)
{
    if (!f) return {};
    if (f->icon >= 0 || (f->isFile() && pageOptions().useSystemIcons)) {
        const int i = f->getSystemIcon();
        if (i >= 0) return QStringLiteral("/~img") + QString::number(i);
    }
    if (f->isFile()) return QStringLiteral("/~img_file");
    if (f->isFolder()) return QStringLiteral("/~img_folder");
    return QStringLiteral("/~img_link");
}

void registerPageSymbols()
{
    static bool done = false;
    if (done) return;
    done = true;
    TmacroRegistry &r = TmacroRegistry::instance();
    registerConnectionSymbols(r);
    generalItem(r);
    folder(r);
    item(r);
    templates(r);
    registerFileMacros(r);
    registerTreeMacros(r, itemIconUrl);
    registerAccountMacros(r, [](TmacroConn *cd) -> TconnView * { return pageContextOf(cd); });
}
