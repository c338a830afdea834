// Program macros: the configuration, the desktop, the log and the server.
// "exec" lives in macrosProgramExec.cpp.

#include "serve/macrosProgram.h"
#include "serve/serveMacros.h"

#include "config/config.h"
#include "log/log.h"
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "serve/connData.h"
#include "serve/logPeer.h"
#include "util/asciiCase.h"

#include <QCoreApplication>

#include <utility>

namespace {

std::unique_ptr<TmacroDesktop> &desktopSlot()
{
    static std::unique_ptr<TmacroDesktop> d;
    return d;
}

TmacroLogWriter &logWriter()
{
    static TmacroLogWriter w;
    return w;
}

// ---- configuration ----

void getIniMacro(TmacroCall &c)
{
    const QString key = c.par(0) + u'=';
    c.result.clear();
    const QString text = cfg().getCfg();
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (startsWithText(line, key)) {
            c.result = line.mid(key.size()).toString();
            return;
        }
    }
}

void saveCfgMacro(TmacroCall &c)
{
    const QString where = c.par(0);
    Tconfig &conf = cfg();
    if (where == QLatin1String("file"))
        conf.cfgStorage = CS_FILE;
    else if (where == QLatin1String("registry"))
        conf.cfgStorage = CS_REGISTRY_USER;
    else if (where == QLatin1String("global registry"))
        conf.cfgStorage = CS_REGISTRY_ALL;
    conf.saveCFG();
    c.result.clear();
}

// ---- desktop ----

void dialogMacro(TmacroCall &c)
{
    c.result.clear();
    const QString message = c.par(0);
    TmacroDesktop *d = macroDesktop();
    if (message.isEmpty() || !d)
        return;
    bool asked = false;
    TdialogRequest r = dialogRequestFor(c.par(1), &asked);
    r.message = message;
    r.caption = QCoreApplication::applicationName();
    if (r.caption.isEmpty())
        r.caption = QStringLiteral("ZOF");
    if (!c.par(2).isEmpty())
        r.caption += QStringLiteral(" -- ") + c.par(2);
    const TpromptButton answer = d->dialog(r);
    if ((answer == PB_OK || answer == PB_YES) && asked)
        c.result = QStringLiteral("1");
    else if (answer == PB_CANCEL && r.buttons == (PB_YES | PB_NO | PB_CANCEL))
        c.result = QStringLiteral("cancel");
}

void notifyMacro(TmacroCall &c)
{
    c.result.clear();
    TmacroDesktop *d = macroDesktop();
    if (!d)
        return;
    const QString type = c.named(QStringLiteral("type"));
    TnotifyIcon icon = NI_NONE;
    if (sameText(type, u"info"))
        icon = NI_INFO;
    else if (sameText(type, u"warning"))
        icon = NI_WARNING;
    else if (sameText(type, u"error"))
        icon = NI_ERROR;
    const double timeout = parseMacroFloat(c.named(QStringLiteral("timeout"))).value_or(3);
    d->notify(c.par(0), c.named(QStringLiteral("title")), icon, int(qBound(0.0, timeout, 86400.0)));
}

void clipboardMacro(TmacroCall &c)
{
    c.result.clear();
    TmacroDesktop *d = macroDesktop();
    if (!d)
        return;
    if (c.count() == 0) {
        c.result = d->clipboardText();
        return;
    }
    const auto var = c.namedRaw(QStringLiteral("var"));
    d->setClipboardText(var ? c.getVar(var->trimmed()) : c.par(0));
}

// ---- log and server ----

void addToLogMacro(TmacroCall &c)
{
    c.result.clear();
    const auto var = c.namedRaw(QStringLiteral("var"));
    const QString text = var ? c.getVar(var->trimmed()) : c.par(0);
    const std::optional<quint32> color = logColorFromText(c.parOrNamed(1, QStringLiteral("color")).value_or(QString()));
    auto *data = dynamic_cast<TconnData *>(c.md.cd);
    ThttpConn *conn = data ? data->conn : nullptr;
    if (logWriter())
        logWriter()(text, conn, color);
    else
        add2log(text, logPeer(conn), color ? TlogColour(*color) : TlogColour());
}

void serverMacro(TmacroCall &c, bool start)
{
    c.result.clear();
    const TcfgHooks &h = cfg().hooks;
    const auto &hook = start ? h.startServer : h.stopServer;
    if (hook)
        hook();
}

struct TnamedColor
{
    const char *name;
    quint32 rgb;
};

constexpr TnamedColor namedColors[] = {
    {"black", 0x000000},   {"maroon", 0x800000}, {"green", 0x008000},      {"olive", 0x808000},
    {"navy", 0x000080},    {"purple", 0x800080}, {"teal", 0x008080},       {"gray", 0x808080},
    {"grey", 0x808080},    {"silver", 0xC0C0C0}, {"red", 0xFF0000},        {"lime", 0x00FF00},
    {"yellow", 0xFFFF00},  {"blue", 0x0000FF},   {"fuchsia", 0xFF00FF},    {"aqua", 0x00FFFF},
    {"white", 0xFFFFFF},   {"ltgray", 0xC0C0C0}, {"dkgray", 0x808080},     {"moneygreen", 0xC0DCC0},
    {"skyblue", 0xA6CAF0}, {"cream", 0xFFFBF0},  {"medgray", 0xA0A0A4},
};

} // namespace

TmacroDesktop *macroDesktop()
{
    return desktopSlot().get();
}

std::unique_ptr<TmacroDesktop> setMacroDesktop(std::unique_ptr<TmacroDesktop> d)
{
    return std::exchange(desktopSlot(), std::move(d));
}

void setMacroLogWriter(TmacroLogWriter writer)
{
    logWriter() = std::move(writer);
}

TdialogRequest dialogRequestFor(const QString &typeWords, bool *askedButtons)
{
    int type = 0;
    bool asked = false;
    for (const QString &w : typeWords.split(u' ', Qt::SkipEmptyParts)) {
        const QString lw = asciiLower(w);
        int v = 0;
        if (lw == QLatin1String("okcancel"))
            v = 1;
        else if (lw == QLatin1String("yesno"))
            v = 4;
        else if (lw == QLatin1String("yesnocancel"))
            v = 3;
        else if (lw == QLatin1String("error"))
            v = 16;
        else if (lw == QLatin1String("question"))
            v = 32;
        else if (lw == QLatin1String("warning"))
            v = 48;
        else if (lw == QLatin1String("information"))
            v = 64;
        asked = asked || (v > 0 && v < 16);
        type += v;
    }
    if (type >= 1 && type <= 15)
        type += 32; // buttons only: a question
    if (askedButtons)
        *askedButtons = asked;
    TdialogRequest r;
    switch (type & 0x0F) {
    case 1: r.buttons = PB_OK | PB_CANCEL; break;
    case 2: r.buttons = PB_ABORT | PB_RETRY | PB_IGNORE; break;
    case 3: r.buttons = PB_YES | PB_NO | PB_CANCEL; break;
    case 4: r.buttons = PB_YES | PB_NO; break;
    case 5: r.buttons = PB_RETRY | PB_CANCEL; break;
    default: r.buttons = PB_OK; break;
    }
    switch (type & 0xF0) {
    case 0x00: r.icon = type == 0 ? DI_INFORMATION : DI_NONE; break;
    case 0x10: r.icon = DI_ERROR; break;
    case 0x20: r.icon = DI_QUESTION; break;
    case 0x30: r.icon = DI_WARNING; break;
    case 0x40: r.icon = DI_INFORMATION; break;
    default: r.icon = DI_NONE; break;
    }
    return r;
}

std::optional<quint32> logColorFromText(const QString &text)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    const QString hex = t.startsWith(u'#') ? t.mid(1) : t;
    bool ok = false;
    if ((hex.size() == 3 || hex.size() == 6) && (hex.toUInt(&ok, 16), ok)) {
        const quint32 v = hex.toUInt(nullptr, 16);
        if (hex.size() == 6)
            return v;
        const quint32 r = (v >> 8) & 0xF, g = (v >> 4) & 0xF, b = v & 0xF;
        return (r * 0x11) << 16 | (g * 0x11) << 8 | (b * 0x11);
    }
    const QString name = startsWithText(t, u"cl") ? asciiLower(t.mid(2)) : asciiLower(t);
    for (const TnamedColor &c : namedColors)
        if (name == QLatin1String(c.name))
            return c.rgb;
    // A number is a colour value of stored scripts: blue, green, red.
    quint32 bgr = 0;
    if (t.startsWith(u'$'))
        bgr = t.mid(1).toUInt(&ok, 16);
    else
        bgr = t.toUInt(&ok, 10);
    if (!ok || bgr > 0xFFFFFF)
        return std::nullopt;
    return (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF);
}

void registerProgramMacros(TmacroRegistry &r)
{
    r.add(QStringLiteral("get ini"), 1, getIniMacro);
    r.add(QStringLiteral("set ini"), 1, [](TmacroCall &c) {
        cfg().setCfg(c.par(0), true);
        c.result.clear();
    });
    r.add(QStringLiteral("set cfg"), 1, [](TmacroCall &c) {
        const QString text = c.par(0);
        if (!text.isEmpty())
            cfg().setCfg(text, true);
        c.result = macroBool(!text.isEmpty());
    });
    r.add(QStringLiteral("save cfg"), 0, saveCfgMacro);
    r.add(QStringLiteral("dialog"), 1, dialogMacro);
    r.add(QStringLiteral("notify"), 1, notifyMacro);
    r.add(QStringLiteral("play"), 1, [](TmacroCall &c) {
        c.result.clear();
        if (TmacroDesktop *d = macroDesktop())
            d->play(c.par(0));
    });
    r.add(QStringLiteral("clipboard"), 0, clipboardMacro);
    r.add(QStringLiteral("focus"), 0, [](TmacroCall &c) {
        c.result.clear();
        if (TmacroDesktop *d = macroDesktop())
            d->focusMainWindow();
    });
    r.add(QStringLiteral("add to log"), 1, addToLogMacro);
    r.add(QStringLiteral("stop server"), 0, [](TmacroCall &c) { serverMacro(c, false); });
    r.add(QStringLiteral("start server"), 0, [](TmacroCall &c) { serverMacro(c, true); });
    registerExecMacro(r);
}
