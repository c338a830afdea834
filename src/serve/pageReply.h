#pragma once
// The two kinds of answer the dispatcher gives: a special page built from
// the template, and a text that becomes the body; both may be compressed.

#include "http/httpReply.h"
#include "pages/pageContext.h"
#include "tpl/tpl.h"

#include <QByteArray>
#include <QString>

class TconnData;
class Tfile;

// The reply mode a page asks for.
ThttpReplyMode replyModeOf(TpageMode mode);
// The reply mode of a special page, by its name's page mode: "ban", "deny",
// "login" 403; "not found" 404; "unauth" 401; "overload", "max contemp
// downloads" 429; else 200.
ThttpReplyMode specialPageMode(const QString &name);

// The special page `name` for `folder` (may be null) with `tpl` (the main
// template when null). The mode follows the name unless the page's macros
// set another (a "Location" header makes it a redirection). Without a page
// from the template the body stays empty and the core sends its default
// text for the mode.
void replySpecialPage(TconnData &cd, const QString &name, Tfile *folder = nullptr, TtplPtr tpl = {});

// The text as the body (the "deny" page instead while a disconnect reason
// is pending), with its content type guessed when none was set.
void replyText(TconnData &cd, const QString &text);

// gzip of the body when compressed browsing is on and the client takes it.
void compressReply(TconnData &cd);

// gzip format, fastest level.
QByteArray gzipBytes(QByteArrayView data);
