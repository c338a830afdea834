// Symbols of the clock, the program and the main template.
#include "script/macroRegistry.h"
#include "script/macroText.h"
#include "tpl/mainTemplate.h"
#include "util/dateTime.h"

#include <QLocale>

void registerGeneralSymbols(TmacroRegistry &r)
{
    r.addSymbol(QStringLiteral("%now%"), [](TmacroData &, QString &v) {
        v = formatMacroNumber(now());
        return true;
    });
    r.addSymbol(QStringLiteral("%timestamp%"), [](TmacroData &, QString &v) {
        const QDateTime t = QDateTime::currentDateTime();
        v = QLocale().toString(t.date(), QLocale::ShortFormat) + QLatin1Char(' ')
            + QLocale().toString(t.time(), QLocale::LongFormat);
        return true;
    });
    r.addSymbol(QStringLiteral("%date%"), [](TmacroData &, QString &v) {
        v = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
        return true;
    });
    r.addSymbol(QStringLiteral("%time%"), [](TmacroData &, QString &v) {
        v = QLocale().toString(QTime::currentTime(), QLocale::LongFormat);
        return true;
    });
    r.addSymbol(QStringLiteral("%version%"), [](TmacroData &, QString &v) {
        v = Ttpl::programVersion();
        return true;
    });
    r.addSymbol(QStringLiteral("%build%"), [](TmacroData &, QString &v) {
        v = Ttpl::programBuild();
        return true;
    });
    r.addSymbol(QStringLiteral("%style%"), [](TmacroData &, QString &v) {
        v = mainTpl()->getTxt(QStringLiteral("style"));
        return true;
    });
}
