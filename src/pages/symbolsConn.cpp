// Symbols that need no tree: the general ones and those of the connection.

#include "pages/pageContext.h"
#include "pages/symbolHelpers.h"
#include "pages/symbols.h"
#include "script/macroData.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "tpl/mainTemplate.h"
#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/files.h"
#include "util/format.h"
#include "util/inertText.h"
#include "util/masks.h"
#include "util/workingFolder.h"

#include <QLocale>

namespace {

using Handler = std::function<bool(TmacroData &, QString &)>;

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

void general(TmacroRegistry &r)
{
    const auto add = [&r](const char *s, Handler h) {
        r.addSymbol(QString::fromLatin1(s), std::move(h));
    };
    add("%connections%", [](TmacroData &, QString &v) {
        v = QString::number(callOr(serverInfo().connections).size());
        return true;
    });
    add("%style%", [](TmacroData &, QString &v) {
        v = sectionOf(mainTpl(), QStringLiteral("style"));
        return true;
    });
    add("%timestamp%", [](TmacroData &, QString &v) {
        v = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat) + u' ' +
            QLocale().toString(QTime::currentTime(), QLocale::LongFormat);
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
        v = uptimeText(callOr(serverInfo().listening), callOr(serverInfo().uptimeSeconds));
        return true;
    });
    add("%speed-out%", [](TmacroData &, QString &v) {
        v = kb2(callOr(serverInfo().speedOut));
        return true;
    });
    add("%speed-in%", [](TmacroData &, QString &v) {
        v = kb2(callOr(serverInfo().speedIn));
        return true;
    });
    add("%total-out%", [](TmacroData &, QString &v) {
        v = smartSize(callOr(serverInfo().totalOut));
        return true;
    });
    add("%total-in%", [](TmacroData &, QString &v) {
        v = smartSize(callOr(serverInfo().totalIn));
        return true;
    });
    add("%total-downloads%", [](TmacroData &, QString &v) {
        v = QString::number(callOr(serverInfo().totalDownloads));
        return true;
    });
    add("%total-hits%", [](TmacroData &, QString &v) {
        v = QString::number(callOr(serverInfo().totalHits));
        return true;
    });
    add("%total-uploads%", [](TmacroData &, QString &v) {
        v = QString::number(callOr(serverInfo().totalUploads));
        return true;
    });
    add("%number-addresses%", [](TmacroData &, QString &v) {
        v = QString::number(distinct(callOr(serverInfo().connections), false, false));
        return true;
    });
    add("%number-addresses-downloading%", [](TmacroData &, QString &v) {
        v = QString::number(distinct(callOr(serverInfo().connections), false, true));
        return true;
    });
    add("%number-users%", [](TmacroData &, QString &v) {
        v = QString::number(distinct(callOr(serverInfo().connections), true, false));
        return true;
    });
    add("%number-users-downloading%", [](TmacroData &, QString &v) {
        v = QString::number(distinct(callOr(serverInfo().connections), true, true));
        return true;
    });
    add("%number-addresses-ever%", [](TmacroData &, QString &v) {
        v = QString::number(callOr(serverInfo().addressesEver));
        return true;
    });
    add("%cwd%", [](TmacroData &, QString &v) {
        v = templatePath(workingFolder());
        return true;
    });
    add("%port%", [](TmacroData &, QString &v) {
        v = callOr(serverInfo().port);
        return true;
    });
}

void connection(TmacroRegistry &r)
{
    using CtxHandler = std::function<QString(TmacroData &, TpageContext &)>;
    const auto add = [&r](const char *s, CtxHandler h) {
        r.addSymbol(QString::fromLatin1(s), [h](TmacroData &md, QString &v) {
            TpageContext *c = ctxOf(md);
            if (!c) return false;
            v = h(md, *c);
            return true;
        });
    };
    add("%host%", [](TmacroData &, TpageContext &c) { return c.host(); });
    add("%ip%", [](TmacroData &, TpageContext &c) { return c.address(); });
    add("%ip-to-name%", [](TmacroData &, TpageContext &c) {
        return nameForAddress(pageOptions().address2name, c.address());
    });
    add("%lang%", [](TmacroData &, TpageContext &c) {
        QString out;
        for (QChar ch : c.requestHeader(QStringLiteral("Accept-Language")).left(2))
            if ((ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z')) out += ch;
        return out;
    });
    add("%url%", [](TmacroData &, TpageContext &c) { return makeInert(c.requestUrl()); });
    add("%user%", [](TmacroData &, TpageContext &c) { return makeInert(c.user()); });
    add("%password%", [](TmacroData &, TpageContext &c) { return makeInert(c.pwd()); });
    add("%loggedin%", [](TmacroData &, TpageContext &c) {
        return c.user().isEmpty() ? QString() : sectionOf(mainTpl(), QStringLiteral("loggedin"));
    });
    add("%login-link%", [](TmacroData &, TpageContext &c) {
        return c.user().isEmpty() ? sectionOf(mainTpl(), QStringLiteral("login-link")) : QString();
    });
    add("%user-notes%", [](TmacroData &, TpageContext &c) { return c.userNotes(); });
    add("%csrf-token%", [](TmacroData &, TpageContext &c) { return c.formToken(); });
    add("%stream-size%",
        [](TmacroData &, TpageContext &c) { return QString::number(c.streamSize()); });
    add("%is-archive%", [](TmacroData &, TpageContext &c) {
        return c.isArchive() ? QStringLiteral("1") : QString();
    });
}

} // namespace

void registerConnectionSymbols(TmacroRegistry &r)
{
    general(r);
    connection(r);
}
