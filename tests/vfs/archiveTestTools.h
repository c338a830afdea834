#pragma once

// Helpers of the archive tests: files with known bytes and times, reading a
// stream in the ways a reply does, and the command-line archivers.

#include "vfs/archiveStream.h"
#include "vfsTestTools.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archiveTest {

// Bytes that differ from position to position and from file to file.
inline QByteArray pattern(qint64 n, int seed)
{
    QByteArray b(n, Qt::Uninitialized);
    quint32 x = 2463534242u + quint32(seed);
    for (qint64 i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b[i] = char(x);
    }
    return b;
}

inline void setMtime(const QString &path, qint64 secs, long nsec = 0)
{
    const timespec t[2] = {{secs, nsec}, {secs, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.toLocal8Bit().constData(), t, 0), 0) << qPrintable(path);
}

// A sparse file of `size` bytes that takes no room on disk.
inline void sparseFile(const QString &path, qint64 size)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

// One read of `len` bytes from `pos`, as a reply serving a range does.
inline QByteArray readAt(TarchiveStream &s, qint64 pos, qint64 len)
{
    if (!s.isOpen()) {
        EXPECT_TRUE(s.open(QIODevice::ReadOnly));
    }
    EXPECT_TRUE(s.seek(pos)) << pos;
    return s.read(len);
}

inline QByteArray readAll(TarchiveStream &s)
{
    return readAt(s, 0, s.size());
}

// The stream read to its end in reads of `chunk` bytes from `pos` on; every
// read must give what was asked while bytes remain.
inline QByteArray readInChunks(TarchiveStream &s, qint64 chunk, qint64 pos = 0)
{
    EXPECT_TRUE(s.seek(pos));
    QByteArray out;
    while (!s.atEnd()) {
        const QByteArray got = s.read(chunk);
        EXPECT_EQ(got.size(), std::min(chunk, s.size() - pos - out.size()));
        if (got.isEmpty())
            break;
        out += got;
    }
    return out;
}

// The stream's bytes from `pos` to the end into a file; the bytes before pos
// are left as a hole, so a listing that reads only the end can run on a huge
// archive.
inline void saveTail(TarchiveStream &s, const QString &path, qint64 pos = 0)
{
    sparseFile(path, s.size());
    const int fd = ::open(path.toLocal8Bit().constData(), O_WRONLY);
    ASSERT_GE(fd, 0);
    if (!s.isOpen()) {
        ASSERT_TRUE(s.open(QIODevice::ReadOnly));
    }
    ASSERT_TRUE(s.seek(pos));
    for (qint64 at = pos; at < s.size();) {
        const QByteArray b = s.read(1 << 20);
        ASSERT_FALSE(b.isEmpty());
        ASSERT_EQ(::pwrite(fd, b.constData(), size_t(b.size()), off_t(at)), b.size());
        at += b.size();
    }
    ::close(fd);
}

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline bool haveProgram(const QString &name)
{
    return !QStandardPaths::findExecutable(name).isEmpty();
}

inline ToolRun runTool(const QString &program, const QStringList &args, const QString &dir = QString())
{
    QProcess p;
    // Names are listed as they are, not escaped for an ASCII locale.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    if (!dir.isEmpty())
        p.setWorkingDirectory(dir);
    p.start(program, args);
    ToolRun r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.err = "timed out";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

inline quint16 le16(const QByteArray &b, qint64 at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}
inline quint32 le32(const QByteArray &b, qint64 at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}
inline quint64 le64(const QByteArray &b, qint64 at)
{
    return qFromLittleEndian<quint64>(b.constData() + at);
}

} // namespace archiveTest
