// The events file and its timed sections.
#include "config/eventScripts.h"
#include "script/macroEngine.h"
#include "tpl/tpl.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void writeText(const QString &path, const QByteArray &text, qint64 mtimeSecs)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
    f.flush(); // written before the time is set, or closing changes it
    f.setFileTime(QDateTime::fromSecsSinceEpoch(mtimeSecs), QFileDevice::FileModificationTime);
}

QString sectionText(const QString &name)
{
    const TtplPtr t = eventsTemplate();
    return t ? t->getTxt(name).trimmed() : QStringLiteral("<none>");
}

struct EventsFile : ::testing::Test
{
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("zof.events"));
    QStringList ran;
    TeventScripts scripts{path, [this](const QString &s) { ran << s; }};
    void TearDown() override { setEventsTemplate(nullptr); }
};

} // namespace

TEST(TimedSection, NamesAsTheClockReadsThem)
{
    struct Case
    {
        const char *name;
        TtimedSection::Tkind kind;
        qint64 period;
    };
    for (const Case &c : {Case{"every 5 minutes", TtimedSection::Every, 300},
                          Case{"every 1:30 m", TtimedSection::Every, 5400},
                          Case{"every 10", TtimedSection::Every, 10},
                          Case{"Every 2 Hours", TtimedSection::Every, 7200},
                          Case{"backup every 1:2:3 h", TtimedSection::Every, (3600 + 2 * 60 + 3) * 3600},
                          Case{"every 0.4", TtimedSection::Every, 0},
                          Case{"every 1.6 s", TtimedSection::Every, 2},
                          Case{"connected", TtimedSection::NotTimed, 0},
                          Case{"everyday", TtimedSection::NotTimed, 0}}) {
        const TtimedSection t = parseTimedSection(QString::fromLatin1(c.name));
        EXPECT_EQ(t.kind, c.kind) << c.name;
        EXPECT_EQ(t.periodSeconds, c.period) << c.name;
    }
    const TtimedSection at = parseTimedSection(QStringLiteral("at 08:30"));
    EXPECT_EQ(at.kind, TtimedSection::At);
    EXPECT_EQ(at.hour, 8);
    EXPECT_EQ(at.minute, 30);
}

TEST_F(EventsFile, LoadedReloadedOnChangeAndKeptWhenDeleted)
{
    scripts.load(); // no file yet: no scripts
    EXPECT_EQ(sectionText(QStringLiteral("connected")), QString());
    writeText(path, "[connected]\none\n", 1000);
    scripts.reloadWhenChanged();
    EXPECT_EQ(sectionText(QStringLiteral("connected")), u"one");
    // Same time, other size: still a change.
    writeText(path, "[connected]\ntwo!\n", 1000);
    scripts.reloadWhenChanged();
    EXPECT_EQ(sectionText(QStringLiteral("connected")), u"two!");
    // Same time and size: not read again.
    writeText(path, "[connected]\nsix!\n", 1000);
    scripts.reloadWhenChanged();
    EXPECT_EQ(sectionText(QStringLiteral("connected")), u"two!");
    QFile::remove(path);
    scripts.reloadWhenChanged();
    EXPECT_EQ(sectionText(QStringLiteral("connected")), u"two!");
}

TEST_F(EventsFile, ResetEmptiesAndRestoreReadsAgain)
{
    writeText(path, "[start]\nhello\n", 2000);
    scripts.load();
    scripts.clear();
    EXPECT_EQ(sectionText(QStringLiteral("start")), QString());
    scripts.reloadWhenChanged(); // the file did not change: still empty
    EXPECT_EQ(sectionText(QStringLiteral("start")), QString());
    scripts.forgetFileTime();
    scripts.reloadWhenChanged();
    EXPECT_EQ(sectionText(QStringLiteral("start")), u"hello");
}

TEST_F(EventsFile, PeriodicSectionsRunOnMultiplesAndMakeUpMissedSecondsOnce)
{
    writeText(path, "[every 2]\na\n[every 3 s]\nb\n[every 0.4]\nc\n[request]\nd\n", 3000);
    scripts.load();
    const QDateTime t(QDate(2026, 1, 1), QTime(12, 0));
    for (qint64 s = 1; s <= 6; ++s)
        scripts.runTimed(s, t);
    EXPECT_EQ(ran, (QStringList{"every 2", "every 3 s", "every 2", "every 2", "every 3 s"}));
    ran.clear();
    scripts.runTimed(6, t); // the same second again: nothing
    EXPECT_TRUE(ran.isEmpty());
    scripts.runTimed(13, t); // 7..13 missed: one run each, not one per multiple
    EXPECT_EQ(ran, (QStringList{"every 2", "every 3 s"}));
}

TEST_F(EventsFile, AtSectionRunsOnceADay)
{
    writeText(path, "[at 08:30]\nx\n", 4000);
    scripts.load();
    const QDate day(2026, 3, 4);
    for (int s = 0; s < 60; ++s)
        scripts.runTimed(s + 1, QDateTime(day, QTime(8, 30, s)));
    scripts.runTimed(100, QDateTime(day, QTime(8, 31)));
    EXPECT_EQ(ran, QStringList{"at 08:30"});
    scripts.runTimed(200, QDateTime(day.addDays(1), QTime(8, 30, 2)));
    EXPECT_EQ(ran.size(), 2);
}

TEST_F(EventsFile, ASlowSectionIsNotJoinedByItsNextRun)
{
    writeText(path, "[every 1]\nx\n", 5000);
    int depth = 0, maxDepth = 0, runs = 0;
    TeventScripts *self = nullptr;
    TeventScripts reentrant(path, [&](const QString &) {
        ++runs;
        maxDepth = qMax(maxDepth, ++depth);
        // The section waits in a nested loop while the clock ticks again.
        self->runTimed(runs + 1, QDateTime::currentDateTime());
        --depth;
    });
    self = &reentrant;
    reentrant.load();
    reentrant.runTimed(1, QDateTime::currentDateTime());
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(maxDepth, 1);
}

TEST_F(EventsFile, AThrowingSectionLeavesTheOthersToRun)
{
    writeText(path, "[every 1]\nx\n[every 1 s]\ny\n", 6000);
    TeventScripts throwing(path, [&](const QString &s) {
        ran << s;
        if (s == u"every 1")
            throw std::runtime_error("broken");
    });
    throwing.load();
    throwing.runTimed(1, QDateTime::currentDateTime());
    EXPECT_EQ(ran, (QStringList{"every 1", "every 1 s"}));
}
