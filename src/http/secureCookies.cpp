#include "http/secureCookies.h"

#include "util/asciiCase.h"

namespace {
bool isSetCookie(QByteArrayView line)
{
    constexpr QByteArrayView name("set-cookie:");
    return line.size() >= name.size() && sameText(line.first(name.size()), name);
}

// Whether one of the cookie's attributes (after the first ";") is Secure.
bool hasSecure(QByteArrayView line)
{
    qsizetype p = line.indexOf(';');
    while (p >= 0) {
        const qsizetype next = line.indexOf(';', p + 1);
        QByteArrayView attr = line.sliced(p + 1, (next < 0 ? line.size() : next) - p - 1).trimmed();
        const qsizetype eq = attr.indexOf('=');
        if (sameText(eq < 0 ? attr : attr.first(eq).trimmed(), QByteArrayView("secure")))
            return true;
        p = next;
    }
    return false;
}
}

QByteArray secureCookieLines(QByteArrayView lines)
{
    QByteArray out;
    out.reserve(lines.size() + 16);
    qsizetype p = 0;
    while (p < lines.size()) {
        qsizetype lf = lines.indexOf('\n', p);
        const qsizetype end = lf < 0 ? lines.size() : lf + 1;
        QByteArrayView line = lines.sliced(p, end - p);
        QByteArrayView text = line;
        while (text.endsWith('\n') || text.endsWith('\r'))
            text.chop(1);
        if (isSetCookie(text) && !hasSecure(text)) {
            QByteArrayView body = text;
            while (body.endsWith(' ') || body.endsWith(';'))
                body.chop(1);
            out.append(body);
            out.append("; Secure");
            out.append(line.sliced(text.size()));
        } else {
            out.append(line);
        }
        p = end;
    }
    return out;
}
