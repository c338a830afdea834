#include "tpl/symbols.h"

#include "script/macroData.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "tpl/mainTemplate.h"
#include "tpl/pageContext.h"
#include "vfs/account.h"
#include "vfs/comments.h"
#include "vfs/file.h"
#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/format.h"
#include "util/masks.h"

#include <QDir>
#include <QLocale>

namespace {

using Handler = std::function<bool(TmacroData &, QString &)>;

template<class T>
T call(const std::function<T()> &fn, T def = T())
{
    return fn ? fn() : def;
}

QString localDateTime(double d)
{
    return QLocale().toString(fromDateTime(d), QLocale::ShortFormat);
}

int distinct(const QList<TserverInfo::Tconn> &conns, bool users, bool downloadingOnly)
{
    QStringList seen;
    for (const auto &c : conns) {
        if (downloadingOnly && !c.countedDownload)
            continue;
        const QString v = users ? c.user : c.address;
        bool found = false;
        for (const QString &s : std::as_const(seen))
            found = found || sameText(s, v);
        if (!found)
            seen << v;
    }
    return int(seen.size());
}

QString kb2(double bytesPerSecond)
{
    return QString::number(bytesPerSecond / 1000.0, 'f', 2);
}

TpageContext *ctxOf(TmacroData &md)
{
    return md.cd ? pageContextOf(md.cd) : nullptr;
}

QString sectionOf(const TtplPtr &t, const QString &name)
{
    return t ? t->getTxt(name) : QString();
}

QString extensionOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1);
}

void general(TmacroRegistry &r)
{
    const auto add = [&r](const char *s, Handler h) { r.addSymbol(QString::fromLatin1(s), std::move(h)); };
    add("%connections%", [](TmacroData &, QString &v) {
        v = QString::number(call(serverInfo().connections).size());
        return true;
    });
    add("%style%", [](TmacroData &, QString &v) {
        v = sectionOf(mainTpl(), QStringLiteral("style"));
        return true;
    });
    add("%timestamp%", [](TmacroData &, QString &v) {
        v = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat) + u' '
            + QLocale().toString(QTime::currentTime(), QLocale::LongFormat);
        return true;
    });
    add("%date%", [](TmacroData &, QString &v) {
        v = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
        return true;
    });
    add("%time%", [](TmacroData &, QString &v) {
        v = QLocale().toString(QTime::currentTime(), QLocale::LongFormat);
        return true;
    });
    add("%now%", [](TmacroData &, QString &v) {
        v = formatMacroNumber(now());
        return true;
    });
    add("%version%", [](TmacroData &, QString &v) {
        v = serverInfo().version;
        return true;
    });
    add("%build%", [](TmacroData &, QString &v) {
        v = serverInfo().build;
        return true;
    });
    add("%uptime%", [](TmacroData &, QString &v) {
        v = uptimeText(call(serverInfo().listening), call(serverInfo().uptimeSeconds));
        return true;
    });
    add("%speed-out%", [](TmacroData &, QString &v) {
        v = kb2(call(serverInfo().speedOut));
        return true;
    });
    add("%speed-in%", [](TmacroData &, QString &v) {
        v = kb2(call(serverInfo().speedIn));
        return true;
    });
    add("%total-out%", [](TmacroData &, QString &v) {
        v = smartSize(call(serverInfo().totalOut));
        return true;
    });
    add("%total-in%", [](TmacroData &, QString &v) {
        v = smartSize(call(serverInfo().totalIn));
        return true;
    });
    add("%total-downloads%", [](TmacroData &, QString &v) {
        v = QString::number(call(serverInfo().totalDownloads));
        return true;
    });
    add("%total-hits%", [](TmacroData &, QString &v) {
        v = QString::number(call(serverInfo().totalHits));
        return true;
    });
    add("%total-uploads%", [](TmacroData &, QString &v) {
        v = QString::number(call(serverInfo().totalUploads));
        return true;
    });
    add("%number-addresses%", [](TmacroData &, QString &v) {
        v = QString::number(distinct(call(serverInfo().connections), false, false));
        return true;
    });
    add("%number-addresses-downloading%", [](TmacroData &, QString &v) {
        v = QString::number(distinct(call(serverInfo().connections), false, true));
        return true;
    });
    add("%number-users%", [](TmacroData &, QString &v) {
        v = QString::number(distinct(call(serverInfo().connections), true, false));
        return true;
    });
    add("%number-users-downloading%", [](TmacroData &, QString &v) {
        v = QString::number(distinct(call(serverInfo().connections), true, true));
        return true;
    });
    add("%number-addresses-ever%", [](TmacroData &, QString &v) {
        v = QString::number(call(serverInfo().addressesEver));
        return true;
    });
    add("%cwd%", [](TmacroData &, QString &v) {
        v = templatePath(QDir::currentPath());
        return true;
    });
    add("%port%", [](TmacroData &, QString &v) {
        v = call(serverInfo().port);
        return true;
    });
    add("%item-icon%", [](TmacroData &md, QString &v) {
        v = itemIconUrl(md.f);
        return !v.isEmpty();
    });
    add("%item-archive%", [](TmacroData &md, QString &v) {
        v = md.f && md.f->hasRecursive(FA_ARCHIVABLE) ? sectionOf(md.tpl, QStringLiteral("item-archive")) : QString();
        return true;
    });
    add("%item-dl-count%", [](TmacroData &md, QString &v) {
        v = md.f ? QString::number(md.f->DLcount()) : QString();
        return true;
    });
}

void connection(TmacroRegistry &r)
{
    using CtxHandler = std::function<QString(TmacroData &, TpageContext &)>;
    const auto add = [&r](const char *s, CtxHandler h) {
        r.addSymbol(QString::fromLatin1(s), [h](TmacroData &md, QString &v) {
            TpageContext *c = ctxOf(md);
            if (!c)
                return false;
            v = h(md, *c);
            return true;
        });
    };
    add("%host%", [](TmacroData &, TpageContext &c) { return c.host(); });
    add("%ip%", [](TmacroData &, TpageContext &c) { return c.address(); });
    add("%ip-to-name%", [](TmacroData &, TpageContext &c) {
        const QStringList &pairs = pageOptions().address2name;
        for (qsizetype i = 0; i + 1 < pairs.size(); i += 2)
            if (matchAddressMask(pairs[i + 1], c.address()))
                return pairs[i];
        return QString();
    });
    add("%lang%", [](TmacroData &, TpageContext &c) {
        QString out;
        for (QChar ch : c.requestHeader(QStringLiteral("Accept-Language")).left(2))
            if ((ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z'))
                out += ch;
        return out;
    });
    add("%url%", [](TmacroData &, TpageContext &c) { return macroQuote(c.requestUrl()); });
    add("%user%", [](TmacroData &, TpageContext &c) { return macroQuote(c.user()); });
    add("%password%", [](TmacroData &, TpageContext &c) { return macroQuote(c.pwd()); });
    add("%loggedin%", [](TmacroData &, TpageContext &c) {
        return c.user().isEmpty() ? QString() : sectionOf(mainTpl(), QStringLiteral("loggedin"));
    });
    add("%login-link%", [](TmacroData &, TpageContext &c) {
        return c.user().isEmpty() ? sectionOf(mainTpl(), QStringLiteral("login-link")) : QString();
    });
    add("%user-notes%", [](TmacroData &, TpageContext &c) { return c.userNotes(); });
    add("%stream-size%", [](TmacroData &, TpageContext &c) { return QString::number(c.streamSize()); });
    add("%is-archive%", [](TmacroData &, TpageContext &c) { return c.isArchive() ? QStringLiteral("1") : QString(); });
}

void folder(TmacroRegistry &r)
{
    using FolderHandler = std::function<QString(TmacroData &, const Tfile &)>;
    const auto add = [&r](const char *s, FolderHandler h) {
        r.addSymbol(QString::fromLatin1(s), [h](TmacroData &md, QString &v) {
            if (!md.folder)
                return false;
            v = h(md, *md.folder);
            return true;
        });
    };
    add("%folder-item-comment%", [](TmacroData &, const Tfile &f) { return getDynamicComment(f, false); });
    add("%folder-comment%", [](TmacroData &, const Tfile &f) {
        const QString cmt = getDynamicComment(f, false);
        if (cmt.isEmpty())
            return QString();
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
    add("%folder-name%", [](TmacroData &, const Tfile &f) { return f.name; });
    add("%folder-resource%", [](TmacroData &, const Tfile &f) { return templatePath(f.resource); });
    add("%folder%", [](TmacroData &, const Tfile &f) {
        return f.isRoot() ? QStringLiteral("/") : f.getFolder() + f.name + u'/';
    });
}

void item(TmacroRegistry &r)
{
    using ItemHandler = std::function<QString(TmacroData &, const Tfile &)>;
    const auto add = [&r](const char *s, ItemHandler h) {
        r.addSymbol(QString::fromLatin1(s), [h](TmacroData &md, QString &v) {
            if (!md.f)
                return false;
            v = h(md, *md.f);
            return true;
        });
    };
    add("%item-name%", [](TmacroData &md, const Tfile &f) {
        QString n = f.name;
        if (md.hideExt && f.isFile()) {
            const qsizetype dot = n.lastIndexOf(u'.');
            if (dot > 0)
                n.truncate(dot);
        }
        return escapeHTML(macroQuote(n));
    });
    add("%item-type%", [](TmacroData &, const Tfile &f) {
        return QString::fromLatin1(f.isLink() ? "link" : f.isFolder() ? "folder" : "file");
    });
    add("%item-size-b%", [](TmacroData &, const Tfile &f) { return QString::number(f.size); });
    add("%item-size-kb%", [](TmacroData &, const Tfile &f) { return QString::number(f.size / 1024); });
    add("%item-size%", [](TmacroData &, const Tfile &f) { return smartSize(f.size); });
    add("%item-resource%", [](TmacroData &, const Tfile &f) { return macroQuote(templatePath(f.resource)); });
    add("%item-ext%", [](TmacroData &, const Tfile &f) { return macroQuote(extensionOf(f.name)); });
    add("%item-added-dt%", [](TmacroData &, const Tfile &f) { return formatMacroNumber(f.atime); });
    add("%item-modified-dt%", [](TmacroData &, const Tfile &f) { return formatMacroNumber(f.mtime); });
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
        if (!md.f || !md.tpl)
            return false;
        v = md.f->isNew() ? md.tpl->getTxt(QStringLiteral("newfile")) : QString();
        return true;
    });
    r.addSymbol(QStringLiteral("%comment%"), [](TmacroData &md, QString &v) {
        if (!md.f || !md.tpl)
            return false;
        v = getDynamicComment(*md.f, true).isEmpty() ? QString() : md.tpl->getTxt(QStringLiteral("comment"));
        return true;
    });
    r.addSymbol(QStringLiteral("%archive%"), [](TmacroData &md, QString &v) {
        if (!md.tpl)
            return false;
        v = md.archiveAvailable ? md.tpl->getTxt(QStringLiteral("archive")) : QString();
        return true;
    });
}

} // namespace

QString itemIconUrl(const Tfile *f)
{
    if (!f)
        return {};
    if (f->icon >= 0 || (f->isFile() && pageOptions().useSystemIcons)) {
        const int i = f->getSystemIcon();
        if (i >= 0)
            return QStringLiteral("/~img") + QString::number(i);
    }
    if (f->isFile())
        return QStringLiteral("/~img_file");
    if (f->isFolder())
        return QStringLiteral("/~img_folder");
    return QStringLiteral("/~img_link");
}

void registerPageSymbols()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    TmacroRegistry &r = TmacroRegistry::instance();
    general(r);
    connection(r);
    folder(r);
    item(r);
    templates(r);
}

