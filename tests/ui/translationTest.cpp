// The language file: its lines, escapes, shapes with "%s"/"%d" and shortcut
// marks; a window translated from a small "zof.lng", its live captions and
// menus included; a missing or broken file leaves English and one log line.
#include "app/services.h"
#include "config/options.h"
#include "log/log.h"
#include "log/logModel.h"
#include "ui/mainWindow.h"
#include "ui/translation.h"
#include "util/languageFile.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

QString tr1(const TlanguageFile &f, const QString &text)
{
    return f.translate(text).value_or(QStringLiteral("<none>"));
}

void writeLng(const QTemporaryDir &dir, const QByteArray &bytes)
{
    QFile f(dir.filePath(languageFileName));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QPushButton *buttonStarting(QWidget *w, const QString &prefix)
{
    for (QPushButton *b : w->findChildren<QPushButton *>())
        if (b->text().startsWith(prefix))
            return b;
    return nullptr;
}

int logLinesWith(const QString &text)
{
    return TlogModel::instance().text().count(text);
}

} // namespace

TEST(LanguageFile, LinesEscapesAndComments)
{
    TlanguageFile f;
    ASSERT_TRUE(f.parse("\xEF\xBB\xBF# a comment\r\n"
                        "; another\n"
                        "\n"
                        "Yes=S\xC3\xAC\r\n"
                        "a\\=b=a uguale b\n"
                        "two\\nlines=due\\rrighe\n"
                        "back\\\\slash=rovescia=ancora\n"))
        << f.error().toStdString();
    EXPECT_EQ(f.size(), 4);
    EXPECT_EQ(tr1(f, "Yes"), QStringLiteral("Sì"));
    EXPECT_EQ(tr1(f, "a=b"), QStringLiteral("a uguale b"));
    EXPECT_EQ(tr1(f, "two\nlines"), QStringLiteral("due\rrighe"));
    // Only the first unescaped "=" separates.
    EXPECT_EQ(tr1(f, "back\\slash"), QStringLiteral("rovescia=ancora"));
    EXPECT_EQ(tr1(f, "# a comment"), QStringLiteral("<none>"));
    EXPECT_EQ(tr1(f, "yes"), QStringLiteral("<none>")); // case counts
    EXPECT_EQ(tr1(f, ""), QStringLiteral("<none>"));
}

TEST(LanguageFile, ShapesAndShortcutMarks)
{
    TlanguageFile f;
    ASSERT_TRUE(f.parse("Port: %s=Porta: %s\n"
                        "%d files, %d folders=%d cartelle? no: %d file, %d cartelle\n"
                        "&Exit=&Esci\n"
                        "Copy=Copia\n"
                        "Fish && chips=Pesce e patatine\n"));
    EXPECT_EQ(tr1(f, "Port: 8080"), QStringLiteral("Porta: 8080"));
    EXPECT_EQ(tr1(f, "Port: any"), QStringLiteral("Porta: any"));
    EXPECT_EQ(tr1(f, "Port 8080"), QStringLiteral("<none>"));
    // Parts go in order into the placeholders; "%d" wants a number.
    EXPECT_EQ(tr1(f, "3 files, 4 folders"), QStringLiteral("3 cartelle? no: 4 file, %d cartelle"));
    EXPECT_EQ(tr1(f, "x files, 4 folders"), QStringLiteral("<none>"));
    // Marks in the file, in the window, or both.
    EXPECT_EQ(tr1(f, "&Exit"), QStringLiteral("&Esci"));
    EXPECT_EQ(tr1(f, "Exit"), QStringLiteral("&Esci"));
    EXPECT_EQ(tr1(f, "&Copy"), QStringLiteral("Copia"));
    EXPECT_EQ(tr1(f, "Fish & chips"), QStringLiteral("Pesce e patatine"));
    EXPECT_EQ(withoutShortcutMarks(QStringLiteral("&Save && go")), QStringLiteral("Save & go"));
}

TEST(LanguageFile, BrokenFilesKeepNothing)
{
    TlanguageFile f;
    EXPECT_FALSE(f.parse("Yes=Sì\nno equals sign here\nNo=No\n"));
    EXPECT_EQ(f.error(), QStringLiteral("line 2: no \"=\""));
    EXPECT_TRUE(f.isEmpty());
    EXPECT_FALSE(f.parse("=orphan\n"));
    EXPECT_EQ(f.error(), QStringLiteral("line 1: no text before \"=\""));
    EXPECT_FALSE(f.parse("Yes=S\xEC\n")); // Latin-1, not UTF-8
    EXPECT_EQ(f.error(), QStringLiteral("not UTF-8 text"));
    EXPECT_TRUE(f.isEmpty());
    EXPECT_FALSE(f.load(QStringLiteral("/nonexistent/zof.lng")));
    EXPECT_FALSE(f.error().isEmpty());
}

TEST(Translation, WindowTranslatedFromTheLanguageFile)
{
    Tservices services;
    opts().port = QStringLiteral("8123");
    QTemporaryDir dir;
    writeLng(dir, "# Italiano\n"
                  "Copy to clipboard=Copia negli appunti\n"
                  "Port: %s=Porta: %s\n"
                  "Exit=Esci\n"
                  "Virtual File System=File system virtuale\n"
                  "OK=Va bene\n"
                  "Just shown=Appena mostrato\n");
    TmainWindow w;
    std::unique_ptr<TwindowTranslation> t = installLanguageFile(dir.path());
    ASSERT_TRUE(t);
    EXPECT_EQ(logLinesWith(QStringLiteral("(6 texts)")), 1);
    w.show();
    EXPECT_TRUE(buttonStarting(&w, QStringLiteral("Copia negli appunti")));
    EXPECT_FALSE(buttonStarting(&w, QStringLiteral("Copy to clipboard")));
    QPushButton *port = buttonStarting(&w, QStringLiteral("Porta: "));
    ASSERT_TRUE(port);
    EXPECT_EQ(port->text(), QStringLiteral("Porta: 8123"));
    bool titled = false;
    for (QLabel *l : w.findChildren<QLabel *>())
        titled |= l->text() == QStringLiteral("File system virtuale");
    EXPECT_TRUE(titled);

    // A live caption goes back to English at each refresh; the once-a-second
    // pass after it translates it again.
    opts().port = QStringLiteral("9000");
    w.refreshCaptions();
    EXPECT_EQ(port->text(), QStringLiteral("Port: 9000"));
    t->translateWidget(&w);
    EXPECT_EQ(port->text(), QStringLiteral("Porta: 9000"));

    // A menu filled as it opens: its entries arrive translated.
    QMenu *menu = w.mainMenu();
    menu->popup(QPoint(0, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
    QStringList texts;
    for (QAction *a : menu->actions())
        texts << a->text();
    menu->hide();
    EXPECT_TRUE(texts.contains(QStringLiteral("Esci"))) << texts.join(u'|').toStdString();
    EXPECT_FALSE(texts.contains(QStringLiteral("Exit")));

    // A window made later is translated when shown; Qt's own texts through
    // the translator.
    QDialog later;
    auto *label = new QLabel(QStringLiteral("Just shown"), &later);
    (new QVBoxLayout(&later))->addWidget(label);
    later.show();
    EXPECT_EQ(label->text(), QStringLiteral("Appena mostrato"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("Va bene"));

    t.reset();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("OK"));
}

TEST(Translation, MissingOrBrokenFileLeavesEnglishWithOneLogLine)
{
    Tservices services;
    setLogToStderr(false);
    QTemporaryDir dir;
    TmainWindow w;
    EXPECT_FALSE(installLanguageFile(dir.path()));
    EXPECT_EQ(logLinesWith(QStringLiteral("No zof.lng")), 1);

    writeLng(dir, "Copy to clipboard=Copia negli appunti\nbroken line\n");
    EXPECT_FALSE(installLanguageFile(dir.path()));
    EXPECT_EQ(logLinesWith(QStringLiteral("Localization not supporting your codepage")), 1);
    EXPECT_TRUE(TlogModel::instance().text().contains(QStringLiteral("line 2")));
    w.show();
    EXPECT_TRUE(buttonStarting(&w, QStringLiteral("Copy to clipboard")));
    setLogToStderr(true);
}
