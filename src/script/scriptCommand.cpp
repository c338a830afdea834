#include "script/scriptLib.h"

#include "tpl/mainTemplate.h"
#include "util/files.h"

#include <QFileInfo>
#include <cstdio>

int runScriptCommand(const QString &file)
{
    const QFileInfo fi(file);
    if (!fi.isFile() || !fi.isReadable()) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(file));
        return 2;
    }
    const QString text = loadTextFile(fi.absoluteFilePath());
    TmacroData md;
    md.tpl = mainTpl();
    QString out = text;
    auto previous = macroSettings().statusBar;
    bool failed = false;
    macroSettings().statusBar = [&failed](const QString &msg, int) {
        failed = true;
        std::fprintf(stderr, "%s\n", qPrintable(msg));
    };
    runMacroText(out, md, true);
    macroSettings().statusBar = previous;
    const QByteArray bytes = out.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
    return failed ? 1 : 0;
}
