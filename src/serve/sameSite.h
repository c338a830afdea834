#pragma once
// Requests that change something must come from the site's own pages. A
// browser names the page that sent a form or a script's request in Origin
// (or, without it, in Referer); a request that names another site there is
// refused. A request that names no page at all is a program's, not a page's.

#include <QString>
#include <QStringView>

class TconnData;
class ThttpConn;

// Whether the page named by `origin` (or by `referer` when there is no
// origin) belongs to the host the request was sent to (its Host value).
// True when neither is given; false for an opaque origin ("null") or a
// value that is no absolute URL.
bool sameSite(QStringView origin, QStringView referer, QStringView host);

// The check on a request: the host is the Host header, or X-Forwarded-Host
// when the peer is a trusted proxy.
bool fromAnotherSite(const ThttpConn &conn);

// The site's own forms also carry a token bound to the visitor's session in
// the POST variable "csrf-token": a page of another site cannot know it.
// Requests without the variable (programs, older templates) are left to the
// Origin check above.
QString formTokenOf(const TconnData &cd);
// A POST whose "csrf-token" variable is present but not the session's.
bool wrongFormToken(const TconnData &cd);
