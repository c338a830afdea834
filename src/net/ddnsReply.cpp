#include "net/ddnsReply.h"

#include <QRegularExpression>

namespace {

// The codes after which the service expects a change from the operator.
QString refusalMessage(const QString &code)
{
    static const struct
    {
        const char *code;
        const char *message;
    } table[] = {
        {"badauth", "invalid user/password"},
        {"notfqdn", "incomplete hostname, required form aaa.bbb.com"},
        {"nohost", "specified hostname does not exist"},
        {"!yours", "specified hostname belongs to another username"},
        {"numhost", "too many or too few hosts found"},
        {"abuse", "specified hostname is blocked for update abuse"},
        {"dnserr", "server error"},
        {"911", "server error"},
        {"!donator", "an option specified requires payment"},
        {"badagent", "banned client"},
    };
    for (const auto &row : table)
        if (code == QLatin1String(row.code))
            return QString::fromLatin1(row.message);
    return {};
}

} // namespace

TddnsOutcome interpretDdnsReply(const QString &reply)
{
    if (reply.size() > 30)
        return {QStringLiteral("%1 bytes reply").arg(reply.size()), false};
    const QString text = reply.trimmed();
    if (text.isEmpty())
        return {QStringLiteral("no reply"), false};
    const QString word = text.section(u' ', 0, 0).toLower();
    if (word == u"good" || word == u"nochg")
        return {QStringLiteral("successful"), false};
    const QString message = refusalMessage(word);
    if (!message.isEmpty())
        return {QStringLiteral("error: ") + message, true};
    return {QStringLiteral("unknown reply: ") + text, false};
}

QString ddnsRequestUrl(const QString &url, const QString &address)
{
    QString out = url;
    return out.replace(QStringLiteral("%ip%"), address, Qt::CaseInsensitive);
}

QString urlWithoutCredentials(const QString &url)
{
    // Up to the last "@" before the query: a password holding "/" is
    // hidden too (more hidden rather than less).
    static const QRegularExpression userInfo(QStringLiteral("^([a-z][a-z0-9+.-]*://)[^?#]*@"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression password(QStringLiteral("([?&]password=)[^&#]*"),
                                             QRegularExpression::CaseInsensitiveOption);
    QString out = url;
    out.replace(userInfo, QStringLiteral("\\1"));
    out.replace(password, QStringLiteral("\\1"));
    return out;
}
