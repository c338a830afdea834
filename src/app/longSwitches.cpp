#include "app/longSwitches.h"

#include "app/cmdLine.h"
#include "app/usage.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

const QString rootSwitch = QStringLiteral("--root");

// Long switches whose next word is their argument.
bool longSwitchTakesArgument(const QString &a)
{
    return a == rootSwitch || a == u"--run-script";
}

bool isShortSwitchWithArgument(const QString &a)
{
    return a.size() == 2 && a[0] == u'-' && a[1].unicode() < 128 && switchTakesArgument(a[1].toLatin1());
}

} // namespace

TinfoRequest infoRequest(const QStringList &args)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == u"--help")
            return IR_HELP;
        if (a == u"--version")
            return IR_VERSION;
        if (a == u"--man-page")
            return IR_MAN_PAGE;
        if (longSwitchTakesArgument(a) || isShortSwitchWithArgument(a))
            ++i;
    }
    return IR_NONE;
}

int answerInfoRequest(const QStringList &args)
{
    QString text;
    switch (infoRequest(args)) {
    case IR_NONE:
        return -1;
    case IR_HELP:
        text = usageText();
        break;
    case IR_VERSION:
        text = versionLine() + u'\n';
        break;
    case IR_MAN_PAGE:
        text = usageManPage();
        break;
    }
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

TrootSwitch takeRootSwitch(QStringList &args, const QString &currentFolder)
{
    TrootSwitch r;
    QString given;
    for (qsizetype i = 0; i < args.size();) {
        if (args[i] != rootSwitch) {
            // The argument of another switch is never ours ("-c --root").
            i += (isShortSwitchWithArgument(args[i]) || longSwitchTakesArgument(args[i])) ? 2 : 1;
            continue;
        }
        if (i + 1 >= args.size()) {
            r.error = QStringLiteral("--root needs a folder");
            args.removeAt(i);
            return r;
        }
        given = args[i + 1];
        args.remove(i, 2);
    }
    if (given.isNull())
        return r;
    const QString path = QDir::cleanPath(QDir(currentFolder).absoluteFilePath(given));
    if (given.isEmpty() || !QFileInfo(path).isDir()) {
        r.error = QStringLiteral("--root: not a folder: ") + given;
        return r;
    }
    r.folder = path;
    return r;
}
