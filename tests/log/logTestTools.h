#pragma once
// What the log tests share: a model registered as the program's, settings
// put back after each test, standard error captured, a scratch folder.

#include "log/log.h"
#include "log/logFile.h"
#include "log/logModel.h"
#include "log/stderrLog.h"
#include "qtPrinters.h"
#include "util/service.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <unistd.h>

// Everything written to standard error (the log's queue included) while
// `f` runs and the event loop then turns.
inline QByteArray capturedStderr(const std::function<void()> &f)
{
    QTemporaryFile file;
    if (!file.open())
        return "cannot open a temporary file";
    flushStderr();
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(file.handle(), 2);
    f();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    flushStderr();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    QFile back(file.fileName());
    if (!back.open(QIODevice::ReadOnly))
        return "cannot read the captured text back";
    return back.readAll();
}

class LogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        apply();
        setLogQuiet(false);
        setLogToStderr(false);
    }
    void TearDown() override
    {
        setLogSettings(TlogSettings());
        setLogToStderr(true);
    }
    // Makes the test's `settings` the log's.
    void apply() { setLogSettings(settings); }
    QString path(const QString &name) const { return dir.filePath(name); }
    // The file's content once the waiting log lines are written.
    QByteArray fileBytes(const QString &name) const
    {
        flushLogFiles();
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList viewLines() const
    {
        QStringList l;
        for (qsizetype i = 0; i < model.lineCount(); ++i)
            l.append(model.line(i).text());
        return l;
    }

    TlogSettings settings;
    TlogModel model;
    Tservice<TlogModel>::Registration registration{model};
    QTemporaryDir dir;
};
