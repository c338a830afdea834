#include "log/logModel.h"

#include "log/logEntry.h"
#include "util/service.h"

#include <QtMath>

QString TlogLine::text() const
{
    QString s;
    for (const TlogSegment &seg : segments)
        s += seg.text;
    return s;
}

TlogModel::TlogModel(QObject *parent) : QObject(parent) {}

TlogModel &TlogModel::instance()
{
    return Tservice<TlogModel>::get();
}

TlogModel *TlogModel::find()
{
    return Tservice<TlogModel>::find();
}

void TlogModel::append(const TlogEntry &entry, qint64 maxLines)
{
    const qsizetype first = lines.size();
    TlogLine head;
    head.segments.reserve(3);
    head.segments.append(TlogSegment{entry.stamp + QStringLiteral("  "), TlogColour::red()});
    if (!entry.client.isEmpty())
        head.segments.append(TlogSegment{entry.client + QStringLiteral("  "), TlogColour::green()});
    head.segments.append(TlogSegment{entry.first, entry.colour});
    lines.append(std::move(head));
    for (const QString &more : entry.more) {
        TlogLine continuation;
        continuation.segments.append(TlogSegment{QStringLiteral("> ") + more, TlogColour::blue()});
        lines.append(std::move(continuation));
    }
    Q_EMIT appended(first, lines.size() - first);

    if (maxLines <= 0 || lines.size() <= maxLines)
        return;
    const qsizetype keep = qsizetype(qRound64(0.9 * double(maxLines)));
    const qsizetype drop = lines.size() - keep;
    lines.remove(0, drop);
    Q_EMIT trimmed(drop);
}

void TlogModel::clear()
{
    lines.clear();
    Q_EMIT cleared();
}

QString TlogModel::text() const
{
    QString s;
    for (const TlogLine &l : lines) {
        for (const TlogSegment &seg : l.segments)
            s += seg.text;
        s += u'\n';
    }
    return s;
}
