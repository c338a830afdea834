// The "get" macro: rights of the visitor on an item, the request URL with
// its query edited, and a few facts of the server.

#include "serve/macrosRequestTools.h"

#include "config/config.h"
#include "config/options.h"
#include "http/httpConn.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "serve/connData.h"
#include "tpl/mainTemplate.h"
#include "util/asciiCase.h"
#include "vfs/account.h"
#include "vfs/permissions.h"
#include "vfs/vfs.h"

#include <cmath>

namespace {

// The right `action` of the run's visitor on the item named by "path"
// (below the folder), else on `fallback`.
void right(TmacroCall &c, TfileAction action, Tfile *fallback)
{
    const TconnView *who = dynamic_cast<TconnData *>(c.md.cd);
    if (const auto path = c.namedRaw(QStringLiteral("path"))) {
        const Tfile *base = c.md.folder;
        const Tvfs &tree = base && base->vfs() ? *base->vfs() : Tvfs::instance();
        const TfilePtr node = tree.findFilebyURL(path->trimmed(), base, true);
        c.result = node ? macroBool(accountAllowed(action, who, node.data())) : QString();
        return;
    }
    if (!fallback) {
        c.setCannotBeUsedHere();
        return;
    }
    c.result = macroBool(accountAllowed(action, who, fallback));
}

QString externalAddress()
{
    // An address that cannot be found leaves the result empty.
    const auto &known = cfg().hooks.externalAddress;
    return known ? known() : QString();
}

void get(TmacroCall &c)
{
    const QString sel = c.par(0);
    TmacroData &md = c.md;
    TconnData *cd = dynamic_cast<TconnData *>(md.cd);
    if (sel == u"can recur") {
        c.result = macroBool(opts().recursiveListing);
    } else if (sel == u"can access") {
        right(c, FA_ACCESS, md.f);
    } else if (sel == u"can delete") {
        right(c, FA_DELETE, md.folder);
    } else if (sel == u"can upload") {
        right(c, FA_UPLOAD, md.folder);
    } else if (sel == u"can archive") {
        c.result = macroBool(md.folder ? md.folder->hasRecursive(FA_ARCHIVABLE) : md.archiveAvailable);
    } else if (sel == u"can archive item") {
        c.result = macroBool(md.f ? md.f->hasRecursive(FA_ARCHIVABLE) : md.archiveAvailable);
    } else if (sel == u"url") {
        if (!cd || !cd->conn)
            return c.setCannotBeUsedHere();
        QStringList edits;
        for (int k = 1; k < c.count(); ++k)
            edits.append(c.par(k));
        c.result = macroQuote(editUrlQuery(QString::fromUtf8(cd->conn->request().url), edits));
    } else if (sel == u"stop spiders") {
        c.result = macroBool(opts().stopSpiders);
    } else if (sel == u"is new") {
        if (!md.f)
            return c.setCannotBeUsedHere();
        c.result = macroBool(md.f->isNew());
    } else if (sel == u"agent") {
        if (!cd)
            return c.setCannotBeUsedHere();
        c.result = cd->request.agent;
    } else if (sel == u"tpl file") {
        c.result = templateFileName();
    } else if (sel == u"protocolon") {
        c.result = opts().httpsUrl ? QStringLiteral("https://") : QStringLiteral("http://");
    } else if (sel == u"speed limit") {
        c.result = QString::number(std::llround(opts().speedLimit));
    } else if (sel == u"external address") {
        c.result = externalAddress();
    } else if (sel == u"accounts") {
        const QString which = c.par(1);
        const bool groups = sameText(which, "groups");
        c.result = groups || sameText(which, "users")
                       ? Taccounts::global().accountNames(!groups, groups).join(u';')
                       : QString();
    }
}

} // namespace

QString editUrlQuery(const QString &url, const QStringList &edits)
{
    if (edits.isEmpty())
        return url;
    const qsizetype q = url.indexOf(u'?');
    const QString path = q < 0 ? url : url.left(q);
    QStringList entries = q < 0 ? QStringList() : url.mid(q + 1).split(u'&');
    const auto nameOf = [](const QString &entry) {
        const qsizetype eq = entry.indexOf(u'=');
        return eq < 0 ? entry : entry.left(eq);
    };
    for (const QString &e : edits) {
        if (e.isEmpty())
            continue;
        const qsizetype eq = e.indexOf(u'=');
        if (eq < 0) {
            bool present = false;
            for (const QString &x : std::as_const(entries))
                present = present || sameText(x, e);
            if (!present)
                entries.append(e);
            continue;
        }
        const QString name = e.left(eq), value = e.mid(eq + 1);
        qsizetype at = -1;
        for (qsizetype i = 0; i < entries.size() && at < 0; ++i)
            if (sameText(nameOf(entries[i]), name))
                at = i;
        if (at < 0) {
            if (!value.isEmpty())
                entries.append(e);
        } else if (value.isEmpty()) {
            entries.removeAt(at);
        } else {
            entries[at] = nameOf(entries[at]) + u'=' + value;
        }
    }
    entries.removeAll(QString());
    return entries.isEmpty() ? path : path + u'?' + entries.join(u'&');
}

void registerGetMacro(TmacroRegistry &r)
{
    r.add(QStringLiteral("get"), 1, get);
}
