#include "net/replyText.h"

#include <QRegularExpression>

#include <algorithm>

bool declaresUtf8(const QString &contentType)
{
    // The parameter runs to the next ";" or the end, spaces around it ignored.
    static const QRegularExpression charset(QStringLiteral("; *charset=([^;]+?) *($|;)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = charset.match(contentType);
    return m.hasMatch() && m.captured(1).compare(u"utf-8", Qt::CaseInsensitive) == 0;
}

QString replyBodyText(const QByteArray &body, const QString &contentType)
{
    return declaresUtf8(contentType) ? QString::fromUtf8(body) : QString::fromLatin1(body);
}

QByteArray rangeHeader(qint64 from, qint64 size)
{
    if (from <= 0 && size < 0)
        return {};
    from = std::max<qint64>(from, 0);
    QByteArray r = "bytes=" + QByteArray::number(from) + '-';
    if (size > 0)
        r += QByteArray::number(from + size - 1);
    return r;
}
