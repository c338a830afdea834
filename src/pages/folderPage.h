#pragma once

// The page of a folder: the listing made into items through the template's
// item sections, the page and item symbols, the totals, and the limit on
// listings built at the same time.

#include "tpl/tpl.h"

#include <QString>

class Tfile;
class TpageContext;

enum TpageTemplateKind {
    PT_MAIN,      // the main template (over the built-in default)
    PT_DM,        // the download-manager template
    PT_FILE_LIST, // the plain list of URLs: no partial templates, unsorted by default
};

// The page text (empty when nothing is produced: no folder, no main section,
// or the connection closed during the build). May set the overload reply.
QString buildFolderPage(Tfile *folder, TpageContext *ctx, const TtplPtr &requestTpl,
                        TpageTemplateKind kind = PT_MAIN);

// Admission of listings: at most 3 at a time, one per client address.
bool tryBuildSlot(const QString &address);
void releaseBuildSlot(const QString &address);
inline constexpr int kMaxBuildingPages = 3;

// "%build-time%": seconds with three decimals and "." as separator.
QString buildTimeText(qint64 elapsedMs);
// Replaces "%sequential%" left to right by 1, 2, 3... and "%build-time%"
// by `buildTime`.
void replacePageCounters(QString &text, const QString &buildTime);
// The template chain of a page: `diffText` over the connection's own
// template (rebased on `below`) over `below`. Shared templates are copied,
// never rewired.
TtplPtr pageTemplateChain(const QString &diffText, const TtplPtr &own, const TtplPtr &below);

// The built-in templates: the default (under the main template), the
// download-manager and the file-list templates, from the compiled-in texts.
void installBuiltinPageTemplates();
// The file-list template for a request: "zof.filelist.tpl" in `folder` when
// present (re-read when it changes), else the built-in one.
TtplPtr fileListTplFor(const QString &folder);
// The built-in texts, from the compiled-in resources.
QString builtinTemplateText(const QString &name); // "default.tpl", "dm.tpl", "filelist.tpl"
