#include "config/options.h"

#include "util/service.h"

QStringList Toptions::defaultMimeTypes()
{
    return {
        QStringLiteral("*.htm;*.html"), QStringLiteral("text/html"),
        QStringLiteral("*.jpg;*.jpeg;*.jpe"), QStringLiteral("image/jpeg"),
        QStringLiteral("*.gif"), QStringLiteral("image/gif"),
        QStringLiteral("*.png"), QStringLiteral("image/png"),
        QStringLiteral("*.bmp"), QStringLiteral("image/bmp"),
        QStringLiteral("*.ico"), QStringLiteral("image/x-icon"),
        QStringLiteral("*.mpeg;*.mpg;*.mpe"), QStringLiteral("video/mpeg"),
        QStringLiteral("*.avi"), QStringLiteral("video/x-msvideo"),
        QStringLiteral("*.txt"), QStringLiteral("text/plain"),
        QStringLiteral("*.css"), QStringLiteral("text/css"),
        QStringLiteral("*.js"), QStringLiteral("text/javascript"),
        QStringLiteral("*.mkv"), QStringLiteral("video/x-matroska"),
        QStringLiteral("*.mp3"), QStringLiteral("audio/mp3"),
        QStringLiteral("*.mp4"), QStringLiteral("video/mp4"),
        QStringLiteral("*.m3u8"), QStringLiteral("application/x-mpegURL"),
    };
}

Toptions &opts()
{
    return Tservice<Toptions>::get();
}
