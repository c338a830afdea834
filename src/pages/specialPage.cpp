#include "pages/specialPage.h"

#include "pages/folderPage.h"
#include "pages/symbolHelpers.h"
#include "pages/symbols.h"
#include "script/macroData.h"
#include "script/macroEngine.h"
#include "script/macroText.h"
#include "tpl/mainTemplate.h"
#include "vfs/comments.h"
#include "vfs/file.h"

#include <QElapsedTimer>

void buildSpecialPage(const QString &name, TpageContext *ctx, const TtplPtr &given, Tfile *folderIn,
                      Tfile *root)
{
    if (!ctx) return;
    QElapsedTimer clock;
    clock.start();
    const TfilePtr folder(folderIn);
    TpageContextScope scope(ctx);
    TtplPtr tpl;
    if (!given) {
        const Tfile *base = folderIn ? folderIn : root;
        tpl = pageTemplateChain(base ? getRecursiveDiffTplAsStr(*base) : QString(),
                                ctx->ownTemplate(), mainTpl());
    } else if (const TtplPtr own = ctx->ownTemplate()) {
        tpl = given->withOver(own->withOver(given->over()));
    } else {
        tpl = given;
    }

    ctx->setReplyMode(PAGE_REPLY);
    ctx->setPageBody({});
    ctx->setReplyMode(pageModeFor(name));
    const TtplSection *section = tpl->getSection(name);
    if (!section) return;
    const QString sectionText = section->txt;
    const bool nolog = section->nolog;

    TmacroData md;
    if (name == u"upload") {
        const QString one = tpl->getTxt(QStringLiteral("upload-file"));
        QString all;
        for (int i = 1; i <= 10; ++i) {
            QString s = one;
            replaceSym(s, "%idx%", QString::number(i));
            all += s;
        }
        md.table << QStringLiteral("%upload-files%") << all;
    } else if (name == u"progress") {
        QString all;
        for (const TpageTransfer &t : ctx->transfersOfAddress()) {
            if (t.fileName.isEmpty()) continue;
            all +=
                progressEntryText(tpl->getTxt(t.upload ? QStringLiteral("progress-upload-file")
                                                       : QStringLiteral("progress-download-file")),
                                  t);
        }
        md.table << QStringLiteral("%progress-files%")
                 << (all.isEmpty() ? tpl->getTxt(QStringLiteral("progress-nofiles")) : all);
    } else if (name == u"upload-results") {
        QString all;
        int idx = 0;
        for (const TpageUpload &u : ctx->takeUploadResults())
            all +=
                uploadResultText(tpl->getTxt(u.reason.isEmpty() ? QStringLiteral("upload-success")
                                                                : QStringLiteral("upload-failed")),
                                 u, ++idx, folder ? folder->resource : QString());
        md.table << QStringLiteral("%uploaded-files%") << all;
    }
    const QString ban = ctx->banReason();
    md.table << QStringLiteral("%reason%") << (ban.isEmpty() ? ctx->disconnectReason() : ban);
    md.cd = ctx->macroConn();
    md.tpl = tpl;
    md.folder = folder.data();

    QString type = ctx->contentTypeFor(name);
    ctx->setContentType(type.isEmpty() ? QStringLiteral("text/html; charset=utf-8") : type);

    QString begin = tpl->getTxt(QStringLiteral("special:begin"));
    if (!begin.isEmpty()) runMacroText(begin, md, false);

    QString text = sectionText;
    if (!ctx->replyIsPlain()) {
        const QString frame = tpl->getTxt(QStringLiteral("error-page"));
        if (!frame.isEmpty()) {
            text = frame;
            text.replace(QLatin1String("%content%"), sectionText, Qt::CaseInsensitive);
        }
    }
    runMacroText(text, md, true);
    text.replace(QLatin1String("%build-time%"), buildTimeText(clock.elapsed()),
                 Qt::CaseInsensitive);
    ctx->setPageBody(text.toUtf8());
    if (nolog) ctx->setDontLog();
}
