#pragma once

// Pages built from one template section: error pages, login, upload forms
// and results, progress, and any section a URL asks for by name.

#include "pages/pageContext.h"
#include "tpl/tpl.h"

#include <QString>

class Tfile;

// The reply mode a page name implies.
TpageMode pageModeFor(const QString &name);

// Fills the reply of `ctx` (mode, content type, body). Without `tpl` the
// page uses the folder's partial templates over the main template (the root's
// when `folder` is null; `root` gives the tree's root for that case).
void buildSpecialPage(const QString &name, TpageContext *ctx, const TtplPtr &tpl = nullptr,
                      Tfile *folder = nullptr, Tfile *root = nullptr);

// The texts of one transfer / one uploaded file (exposed for tests).
QString progressEntryText(QString section, const TpageTransfer &t);
QString uploadResultText(QString section, const TpageUpload &u, int idx,
                         const QString &folderResource);
