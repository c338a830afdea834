#pragma once
// The bytes a gzip stream holds (up to 1 MiB), for checking compressed replies.
#include <QByteArray>
#include <gtest/gtest.h>
#include <zlib.h>

inline QByteArray gunzip(const QByteArray &z)
{
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, 15 + 16), Z_OK);
    QByteArray out(1 << 20, Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(z.data()));
    zs.avail_in = uInt(z.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    out.resize(qsizetype(zs.total_out));
    inflateEnd(&zs);
    return rc == Z_STREAM_END ? out : QByteArray("<bad stream>");
}
