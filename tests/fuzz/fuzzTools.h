#pragma once
// What the fuzz targets share: a check that stops the run (libFuzzer and the
// replay both count an abort as a finding), the Qt application that timers
// and sockets want, and a scratch folder that anything written goes to.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Stops with the broken rule and, when given, the value that broke it.
inline void fuzzCheck(bool ok, const char *rule, const QString &detail = QString())
{
    if (ok)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", rule);
    if (!detail.isEmpty())
        std::fprintf(stderr, "%s\n", detail.toUtf8().constData());
    std::abort();
}

inline QString fuzzText(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

inline QByteArray fuzzBytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

inline void ensureCoreApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// A temporary folder, made the current one, removed at exit.
inline const QString &scratchFolder()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        if (!dir.isValid() || !QDir::setCurrent(dir.path()))
            fuzzCheck(false, "scratch folder", dir.path());
        return dir.path();
    }();
    return path;
}
