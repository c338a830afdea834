#include "app/cmdLine.h"

bool switchTakesArgument(char sw)
{
    switch (sw) {
    case 'i': case 'a': case 'c': case 'd': case 'b': case 'B':
        return true;
    default:
        return false;
    }
}

namespace {
bool isKnownSwitch(char sw)
{
    return switchTakesArgument(sw) || sw == 'q' || sw == 'u';
}
}

TcmdLine parseCmdLine(const QStringList &args)
{
    TcmdLine cl;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool isSwitch = a.size() == 2 && a[0] == u'-' && a[1].isLetter() && a[1].unicode() < 128;
        if (!isSwitch) {
            cl.items.append(TcmdItem{0, a});
            continue;
        }
        const char sw = a[1].toLatin1();
        if (!isKnownSwitch(sw))
            continue;
        if (!switchTakesArgument(sw)) {
            cl.items.append(TcmdItem{sw, {}});
            continue;
        }
        if (i + 1 >= args.size()) {
            cl.error = QStringLiteral("missing parameter needed");
            break;
        }
        cl.items.append(TcmdItem{sw, args[++i]});
    }
    return cl;
}

QStringList TcmdLine::files() const
{
    QStringList out;
    for (const TcmdItem &it : items)
        if (!it.sw)
            out.append(it.arg);
    return out;
}

QString TcmdLine::value(char sw) const
{
    for (const TcmdItem &it : items)
        if (it.sw == sw)
            return it.arg;
    return {};
}

bool TcmdLine::has(char sw) const
{
    for (const TcmdItem &it : items)
        if (it.sw == sw)
            return true;
    return false;
}
