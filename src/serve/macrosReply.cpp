// Macros that shape the reply: cookie, add header, remove header, mime.
// Header lines never carry CR, LF or NUL: such a value is dropped here and
// the server core refuses it again when it writes the head.

#include "serve/macrosRequestTools.h"

#include "http/httpConn.h"
#include "http/httpReply.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "serve/connData.h"
#include "util/asciiCase.h"

#include <QLocale>

#include <cmath>

namespace {

// Day counts a date can take (years 1 to 9999).
constexpr double kMinDays = -693593;
constexpr double kMaxDays = 2958465;

std::optional<TdateTime> localTextToUtc(const QString &text)
{
    const QLocale locales[] = {QLocale(), QLocale::system(), QLocale::c()};
    for (const QLocale &l : locales) {
        for (const auto fmt : {QLocale::ShortFormat, QLocale::LongFormat}) {
            QDateTime dt = l.toDateTime(text, fmt);
            if (!dt.isValid()) {
                const QDate d = l.toDate(text, fmt);
                if (d.isValid())
                    dt = d.startOfDay();
            }
            if (dt.isValid())
                return localToUTC(toDateTime(dt));
        }
    }
    const QDateTime iso = QDateTime::fromString(text, Qt::ISODate);
    if (iso.isValid())
        return toDateTimeUTC(iso.toUTC());
    return std::nullopt;
}

void cookie(TmacroCall &c)
{
    TconnData *cd = connOrError(c);
    if (!cd)
        return;
    const QString name = c.par(0);
    const auto value = c.namedRaw(QStringLiteral("value"));
    if (!value) {
        c.result = cd->conn ? disarmMacros(cd->conn->getCookie(name)) : QString();
        return;
    }
    QList<QPair<QString, QString>> attributes;
    bool valueSkipped = false;
    for (int k = 1; k < c.count(); ++k) {
        const QString p = c.raw(k);
        const qsizetype eq = p.indexOf(u'=');
        const QString attr = (eq < 0 ? p : p.left(eq)).trimmed();
        if (!valueSkipped && eq >= 0 && sameText(QStringView(p).left(eq), u"value")) {
            valueSkipped = true;
            continue;
        }
        QString v = eq < 0 ? QString() : p.mid(eq + 1).trimmed();
        if (attr == u"expires")
            v = cookieExpiresValue(v, nowUTC());
        attributes.append({attr, v});
    }
    c.result.clear();
    if (cd->conn)
        cd->conn->setCookie(name, value->trimmed(), attributes); // refused when unsafe
}

void addHeader(TmacroCall &c)
{
    TconnData *cd = connOrError(c);
    if (!cd)
        return;
    c.result.clear();
    if (!cd->conn)
        return;
    ThttpReply &reply = cd->conn->reply();
    const QString line = c.par(0);
    const QString after = line.mid(line.indexOf(u':') + 1).trimmed();
    if (startsWithText(line, u"Content-Type:")) {
        if (isHeaderSafe(QStringView(after)))
            reply.contentType = after.toUtf8();
    } else if (startsWithText(line, u"Location:")) {
        if (isHeaderSafe(QStringView(after))) {
            reply.mode = HRM_REDIRECT;
            reply.url = after; // sent as UTF-8
        }
    } else {
        reply.addHeader(line, macroIsTrue(c.named(QStringLiteral("overwrite"), QStringLiteral("1"))));
    }
}

void removeHeader(TmacroCall &c)
{
    TconnData *cd = connOrError(c);
    if (!cd)
        return;
    c.result.clear();
    if (cd->conn)
        cd->conn->removeHeader(c.par(0));
}

void mime(TmacroCall &c)
{
    TconnData *cd = connOrError(c);
    if (!cd)
        return;
    c.result.clear();
    const QString type = c.par(0);
    if (cd->conn && isHeaderSafe(QStringView(type)))
        cd->conn->reply().contentType = type.toUtf8();
}

} // namespace

QString cookieExpiresValue(const QString &value, TdateTime nowUtc)
{
    const QString v = value.trimmed();
    std::optional<TdateTime> utc;
    if (v.startsWith(u'+') || v.startsWith(u'-')) {
        if (const auto days = parseMacroFloat(v.mid(v.startsWith(u'+') ? 1 : 0)))
            utc = nowUtc + *days;
    } else if (const auto n = parseMacroFloat(v)) {
        if (*n > 1000000)
            utc = *n / secondsPerDay + 25569; // 1970-01-01 as a day count
        else
            utc = localToUTC(*n);
    } else if (!v.isEmpty()) {
        utc = localTextToUtc(v);
    }
    if (!utc || !std::isfinite(*utc) || *utc < kMinDays || *utc > kMaxDays)
        return value;
    return httpDate(*utc);
}

void registerReplyMacros(TmacroRegistry &r)
{
    r.add(QStringLiteral("cookie"), 1, cookie);
    r.add(QStringLiteral("add header"), 1, addHeader);
    r.add(QStringLiteral("remove header"), 1, removeHeader);
    r.add(QStringLiteral("mime"), 1, mime);
}
