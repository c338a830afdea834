#pragma once
// Shared by the macros that read the request and steer the reply and the
// connection. Private to request handling; the pure helpers are here so
// that tests reach them without a running server.

#include "util/dateTime.h"

#include <QString>
#include <QStringList>

class TconnData;
class TmacroCall;
class TmacroRegistry;
class Tfile;
class Tserve;

// The run's connection record; null after setting "cannot be used here".
TconnData *connOrError(TmacroCall &c);

void registerGetMacro(TmacroRegistry &r);
void registerReplyMacros(TmacroRegistry &r);
void registerConnectionMacros(TmacroRegistry &r);
void registerBreadcrumbsMacro(TmacroRegistry &r);

// The request URL with its query edited: "name=value" replaces (or, empty,
// removes) the entry of that name or appends it; a bare "name" is appended
// unless an equal entry exists. Names match ignoring ASCII case.
QString editUrlQuery(const QString &url, const QStringList &edits);

// The value of a cookie's "expires" attribute as an HTTP date: "+d"/"-d"
// days from `nowUtc`, a Unix time (above 1,000,000), a day count (local
// time) or a local date text. Unconvertible text comes back unchanged.
QString cookieExpiresValue(const QString &value, TdateTime nowUtc);

// The navigation bar of `node` ("%bread-url%", "%bread-name%", "%bread-idx%"
// in `pattern`), starting at piece `from` (0 is the root).
QString breadcrumbsFor(const Tfile &node, const QString &pattern, qint64 from);

struct TdownloadFilter
{
    QString ipMask;            // empty: any address
    QString user;              // empty: any user
    const Tfile *file = nullptr; // set: only downloads of this item
    bool fileFilter = false;
};
// Connections of `s` now sending a counted download that pass the filter.
int countCurrentDownloads(Tserve &s, const TdownloadFilter &filter);
// Disconnects every connection whose address matches `ipMask` and, when
// `portMask` is not empty, whose port matches it. Returns how many.
int disconnectMatching(Tserve &s, const QString &ipMask, const QString &portMask);
