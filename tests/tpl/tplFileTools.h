#pragma once
// Template files with a chosen modification time, for the tests of what
// watches and reloads them.

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>

inline void writeFile(const QString &path, const QByteArray &bytes, qint64 mtimeSecs)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.flush(); // a later flush would move the time again
    ASSERT_TRUE(
        f.setFileTime(QDateTime::fromSecsSinceEpoch(mtimeSecs), QFileDevice::FileModificationTime));
    f.close();
}
