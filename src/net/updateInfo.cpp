#include "net/updateInfo.h"

#include "tpl/tpl.h"
#include "util/masks.h"

std::optional<TupdateInfo> TupdateInfo::parse(const QString &text)
{
    if (!text.contains(QStringLiteral("[EOF]")))
        return std::nullopt;
    const Ttpl tpl(text);
    TupdateInfo info;
    for (const QString &name : tpl.getSections()) {
        info.names.append(name);
        info.bodies.append(tpl.getTxt(name));
    }
    return info;
}

QString TupdateInfo::section(const QString &name) const
{
    for (qsizetype i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return bodies[i].trimmed();
    return {};
}

TupdateOffer channelOffer(const TupdateInfo &info, const QString &channel, const QString &currentBuild)
{
    const QString prefix = QStringLiteral("last ") + channel;
    TupdateOffer o;
    o.version = info.section(prefix);
    o.build = info.section(prefix + QStringLiteral(" build"));
    if (o.build > currentBuild) {
        o.url = info.section(prefix + QStringLiteral(" url"));
        o.sha256 = info.section(prefix + QStringLiteral(" sha256")).toLower();
    }
    return o;
}

TupdateOffer bestOffer(const TupdateInfo &info, const QString &currentBuild)
{
    TupdateOffer o = channelOffer(info, QStringLiteral("stable"), currentBuild);
    if (o.url.isEmpty())
        o = channelOffer(info, QStringLiteral("untested"), currentBuild);
    return o;
}

QString offerText(const TupdateOffer &offer, const QString &currentVersion, const QString &currentBuild)
{
    if (offer.version == currentVersion)
        return QStringLiteral("Build #%1 (current is #%2)").arg(offer.build, currentBuild);
    return offer.version;
}

QStringList versionNotices(const QString &noticeSection, const QString &currentVersion,
                           const QString &currentBuild)
{
    QStringList shown;
    QString mask;
    QStringList lines;
    bool open = false;
    const auto close = [&] {
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast(); // the text's final line break
        if (open && (matchFileMask(mask, currentVersion) || matchFileMask(mask, QStringLiteral("#") + currentBuild)))
            shown.append(lines.join(u'\r'));
        lines.clear();
    };
    for (QString line : noticeSection.split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'@')) {
            close();
            open = line.size() > 1;
            mask = line.mid(1);
            continue;
        }
        if (open)
            lines.append(line);
    }
    close();
    return shown;
}

QString checksumFor(const TupdateInfo &info, const QString &url)
{
    for (const QString &channel : {QStringLiteral("stable"), QStringLiteral("untested")}) {
        const QString prefix = QStringLiteral("last ") + channel;
        if (!url.isEmpty() && info.section(prefix + QStringLiteral(" url")) == url)
            return info.section(prefix + QStringLiteral(" sha256")).toLower();
    }
    return {};
}

bool autoCheckDue(double lastCheck, double now)
{
    return now - lastCheck >= 1.0 / 3;
}
