#pragma once
// What the log view shows: lines of coloured segments, the oldest trimmed
// away past the limit. A window follows it through the signals; headless,
// it is simply the recent log.

#include "log/logColour.h"

#include <QList>
#include <QObject>
#include <QString>

struct TlogEntry;

struct TlogSegment
{
    QString text;
    TlogColour colour;
};

struct TlogLine
{
    QList<TlogSegment> segments;
    QString text() const;
};

class TlogModel : public QObject
{
    Q_OBJECT
public:
    explicit TlogModel(QObject *parent = nullptr);

    // The program's log while the application owns one (util/service.h);
    // find() is null when there is none (unit tests of other modules,
    // scripts run from the command line).
    static TlogModel &instance();
    static TlogModel *find();

    // The entry's lines: "stamp  " in red, "client  " in green (when there is
    // a client), the text in the entry's colour, then one blue line per
    // continuation line, "> " in front. Then, when `maxLines` is above 0 and
    // more lines are held, the oldest go so that round(0.9 * maxLines)
    // remain: one trim makes room for a tenth of the limit.
    void append(const TlogEntry &entry, qint64 maxLines);
    void clear();

    qsizetype lineCount() const { return lines.size(); }
    const TlogLine &line(qsizetype i) const { return lines.at(i); }
    // Every line followed by LF.
    QString text() const;

Q_SIGNALS:
    // `count` lines were added at the end, the first of them at `first`.
    void appended(qsizetype first, qsizetype count);
    // The `count` oldest lines went; indices of the others moved down by it.
    void trimmed(qsizetype count);
    void cleared();

private:
    QList<TlogLine> lines;
};
