#include "serve/icons.h"

#include "config/options.h"

#include <QFile>
#include <QList>

// From outside any namespace, as Q_INIT_RESOURCE requires.
void initServeResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(serve);
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

constexpr int builtinCount = 38;

QByteArray loadResource(const QString &name)
{
    initServeResources();
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QList<QByteArray> &builtinIcons()
{
    static const QList<QByteArray> list = [] {
        QList<QByteArray> l;
        for (int i = 0; i < builtinCount; ++i)
            l.append(loadResource(QStringLiteral(":/zof/icons/%1.gif").arg(i, 2, 10, QLatin1Char('0'))));
        return l;
    }();
    return list;
}

} // namespace

int builtinIconCount()
{
    return builtinCount;
}

QByteArray iconGif(int index)
{
    if (index < 0)
        return {};
    if (index < builtinCount)
        return builtinIcons().at(index);
    return opts().iconMasksUserImages.value(index);
}

int iconIndexFor(const QString &name)
{
    if (name == u"_graph")
        return -2;
    if (name == u"_link")
        return ICON_LINK;
    if (name == u"_file")
        return ICON_FILE;
    if (name == u"_folder")
        return ICON_FOLDER;
    if (name == u"_lock")
        return ICON_LOCK;
    if (name.isEmpty() || name.size() > 9)
        return -1;
    for (QChar c : name)
        if (c < u'0' || c > u'9')
            return -1;
    const int i = name.toInt();
    return iconGif(i).isEmpty() ? -1 : i;
}

QByteArray jqueryBytes()
{
    static const QByteArray bytes = loadResource(QStringLiteral(":/zof/jquery.js"));
    return bytes;
}
