#include "config/cfgCodec.h"

#include "util/codePage.h"
#include "vfs/account.h"

#include <QStringDecoder>
#include <QStringList>

#include <zlib.h>


namespace {

bool yes(const QString &s)
{
    return s == u"yes";
}

QString yesNo(bool b)
{
    return b ? QStringLiteral("yes") : QStringLiteral("no");
}

// UTF-8 as text, a leading U+FEFF included: QString::fromUtf8 drops it, and
// a user "\uFEFFbob" would come back as "bob".
QString utf8Text(const QByteArray &bytes)
{
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decode(bytes);
}

// A redirection target is a URL: its ";" and "|" are written percent-encoded
// (the same URL) so that they cannot split the account list.
QString protectRedir(QString url)
{
    url.replace(u';', QStringLiteral("%3B"));
    url.replace(u'|', QStringLiteral("%7C"));
    return oneLine(url);
}

} // namespace

QString oneLine(QString s)
{
    for (QChar &c : s)
        if (c == u'\r' || c == u'\n')
            c = u' ';
    return s;
}

QByteArray zlibCompress(const QByteArray &data, int level)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size,
                  reinterpret_cast<const Bytef *>(data.constData()),
                  static_cast<uLong>(data.size()), level) != Z_OK)
        return {};
    out.truncate(static_cast<qsizetype>(size));
    return out;
}

bool zlibInflate(const QByteArray &data, QByteArray &out, qint64 maxSize)
{
    out.clear();
    if (data.size() < 2)
        return false;
    z_stream zs = {};
    if (inflateInit(&zs) != Z_OK)
        return false;
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = static_cast<uInt>(data.size());
    char buf[16384];
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef *>(buf);
        zs.avail_out = sizeof buf;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            break;
        out.append(buf, static_cast<qsizetype>(sizeof buf - zs.avail_out));
        if (out.size() > maxSize) {
            rc = Z_MEM_ERROR;
            break;
        }
        if (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0) {
            rc = Z_BUF_ERROR; // input ended before the stream did
            break;
        }
    }
    const bool ok = rc == Z_STREAM_END && zs.avail_in == 0;
    inflateEnd(&zs);
    if (!ok)
        out.clear();
    return ok;
}

QString packData(const QByteArray &data)
{
    const QByteArray packed = zlibCompress(data, 3);
    const bool smaller = !packed.isEmpty() && packed.size() < data.size() * 0.8;
    return QString::fromLatin1((smaller ? packed : data).toBase64());
}

QByteArray unpackData(const QString &text)
{
    const QByteArray raw = QByteArray::fromBase64(text.toLatin1());
    QByteArray inflated;
    if (zlibInflate(raw, inflated))
        return inflated;
    return raw;
}

QString encodeAccounts(const QList<Taccount> &accounts)
{
    QString out;
    for (const Taccount &a : accounts) {
        const QByteArray login = (a.user + u':' + a.pwd).toUtf8().toBase64();
        out += QStringLiteral("|login:") + QString::fromLatin1(login);
        out += QStringLiteral("|enabled:") + yesNo(a.enabled);
        out += QStringLiteral("|group:") + yesNo(a.group);
        out += QStringLiteral("|no-limits:") + yesNo(a.noLimits);
        if (!a.redir.isEmpty())
            out += QStringLiteral("|redir:") + protectRedir(a.redir);
        if (!a.link.isEmpty())
            out += QStringLiteral("|link:") + oneLine(a.link.join(u':'));
        if (!a.notes.isEmpty())
            out += QStringLiteral("|notes:") + packData(a.notes.toUtf8());
        out += u';';
    }
    return out;
}

QList<Taccount> decodeAccounts(const QString &value)
{
    QList<Taccount> list;
    for (const QString &piece : value.split(u';', Qt::SkipEmptyParts)) {
        Taccount a; // starts enabled
        bool hasLogin = false;
        for (const QString &field : piece.split(u'|', Qt::SkipEmptyParts)) {
            const qsizetype colon = field.indexOf(u':');
            const QString name = colon < 0 ? field : field.left(colon);
            const QString v = colon < 0 ? QString() : field.mid(colon + 1);
            if (name == u"login") {
                // Old layout: plain "user:password"; else Base64 of it.
                const QString login = v.contains(u':')
                    ? v : utf8Text(QByteArray::fromBase64(v.toLatin1()));
                const qsizetype c = login.indexOf(u':');
                a.user = c < 0 ? login : login.left(c);
                a.pwd = c < 0 ? QString() : login.mid(c + 1);
                hasLogin = true;
            } else if (name == u"enabled") {
                a.enabled = yes(v);
            } else if (name == u"group") {
                a.group = yes(v);
            } else if (name == u"no-limits") {
                a.noLimits = yes(v);
            } else if (name == u"redir") {
                a.redir = v;
            } else if (name == u"link") {
                a.link = v.split(u':', Qt::SkipEmptyParts);
            } else if (name == u"notes") {
                a.notes = utf8Text(unpackData(v));
            }
        }
        // A record without a name cannot be found nor logged in: drop it.
        if (hasLogin && !a.user.isEmpty()) {
            a.wasUser = a.user;
            list.append(a);
        }
    }
    return list;
}

QString encodeBans(const QList<Tban> &bans)
{
    // "|" ends an entry: written escaped in the address too, as the reader
    // unescapes the whole entry.
    const auto escaped = [](const QString &s) { return oneLine(s).replace(u'|', QStringLiteral("\\$pipe")); };
    QString out;
    for (const Tban &b : bans)
        out += escaped(b.ip) + u'#' + escaped(b.comment) + u'|';
    return out;
}

QList<Tban> decodeBans(const QString &value)
{
    QList<Tban> list;
    for (QString piece : value.split(u'|', Qt::SkipEmptyParts)) {
        piece.replace(QStringLiteral("\\$pipe"), QStringLiteral("|"));
        const qsizetype hash = piece.indexOf(u'#');
        Tban b;
        b.ip = hash < 0 ? piece : piece.left(hash);
        b.comment = hash < 0 ? QString() : piece.mid(hash + 1);
        list.append(b);
    }
    return list;
}

QString encodeIconMasks(const QList<TiconMask> &masks)
{
    QString out;
    for (const TiconMask &m : masks)
        out += oneLine(m.mask) + u'|' + QString::number(m.index) + QStringLiteral("||");
    return out;
}

QList<TiconMask> decodeIconMasks(const QString &value)
{
    QList<TiconMask> list;
    for (const QString &entry : value.split(QStringLiteral("||"), Qt::SkipEmptyParts)) {
        const qsizetype bar = entry.indexOf(u'|');
        TiconMask m;
        m.mask = bar < 0 ? entry : entry.left(bar);
        bool ok = false;
        const int idx = bar < 0 ? 0 : entry.mid(bar + 1).toInt(&ok);
        m.index = ok ? idx : 0;
        list.append(m);
    }
    return list;
}

QString encodeUserImages(const QMap<int, QByteArray> &images)
{
    QString out;
    for (auto it = images.cbegin(); it != images.cend(); ++it)
        out += QString::number(it.key()) + u':' + packData(codePageToText(it.value()).toUtf8()) + u'|';
    return out;
}

QMap<int, QByteArray> decodeUserImages(const QString &value)
{
    QMap<int, QByteArray> images;
    for (const QString &piece : value.split(u'|', Qt::SkipEmptyParts)) {
        const qsizetype colon = piece.indexOf(u':');
        if (colon < 0)
            continue;
        bool ok = false;
        const int idx = piece.left(colon).toInt(&ok);
        if (!ok)
            continue;
        images.insert(idx, textToCodePage(QString::fromUtf8(unpackData(piece.mid(colon + 1)))));
    }
    return images;
}

QString encodeConnColumns(const QList<TconnColumn> &columns)
{
    QString out;
    for (const TconnColumn &c : columns)
        out += c.caption + u';' + QString::number(c.width) + u'|';
    return out;
}

void decodeConnColumns(const QString &value, QList<TconnColumn> &columns)
{
    for (const QString &piece : value.split(u'|', Qt::SkipEmptyParts)) {
        const qsizetype semi = piece.lastIndexOf(u';');
        if (semi < 0)
            continue;
        bool ok = false;
        const int width = piece.mid(semi + 1).toInt(&ok);
        if (!ok)
            continue;
        const QString caption = piece.left(semi);
        for (TconnColumn &c : columns)
            if (c.caption == caption)
                c.width = width;
    }
}

QList<TconnColumn> defaultConnColumns()
{
    return {
        {QStringLiteral("IP address"), 120}, {QStringLiteral("File"), 180},
        {QStringLiteral("Status"), 180},     {QStringLiteral("Speed"), 70},
        {QStringLiteral("Time left"), 70},   {QStringLiteral("Progress"), 80},
    };
}

