// Log lines written to standard error: a time stamp, the text as UTF-8 on
// one line, queued and written when the event loop comes back.

#include "log/log.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

namespace {

// Everything add2log writes to standard error while `f` runs.
QByteArray capturedStderr(const std::function<void()> &f)
{
    QTemporaryFile file;
    if (!file.open())
        return "cannot open a temporary file";
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(file.handle(), 2);
    f();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    QFile back(file.fileName());
    back.open(QIODevice::ReadOnly);
    return back.readAll();
}

} // namespace

TEST(LogLine, StampTextAndBreaks)
{
    setLogWriter(nullptr);
    setLogQuiet(false);
    const QByteArray out = capturedStderr([] {
        add2log(QStringLiteral("plain"));
        add2log(QStringLiteral("one\r\ntwo\nthree\rfour"));
        add2log(QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac"));
        add2log(QString());
    });
    const QList<QByteArray> lines = out.split('\n');
    ASSERT_EQ(lines.size(), 5) << out.toStdString(); // four lines and the empty rest
    EXPECT_TRUE(lines[4].isEmpty());
    const QRegularExpression stamp(QStringLiteral("^([01]\\d|2[0-3]):[0-5]\\d:[0-5]\\d $"));
    const QByteArray texts[] = {"plain", "one | two | three four", "caf\xc3\xa9 \xe2\x82\xac", ""};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ASSERT_GE(lines[i].size(), 9);
        EXPECT_TRUE(stamp.match(QString::fromLatin1(lines[i].left(9))).hasMatch()) << lines[i].toStdString();
        EXPECT_EQ(lines[i].mid(9), texts[i]);
    }
}

TEST(LogLine, QuietDropsLines)
{
    setLogWriter(nullptr);
    setLogQuiet(true);
    const QByteArray out = capturedStderr([] { add2log(QStringLiteral("hidden")); });
    setLogQuiet(false);
    EXPECT_TRUE(out.isEmpty());
}
