// The log view over the program's log: bursts shown in one pass with the
// trimming rule, colours, the search box, the caret line's address and the
// log menu's commands.
#include "app/services.h"
#include "config/config.h"
#include "config/options.h"
#include "log/log.h"
#include "log/logModel.h"
#include "log/logSettings.h"
#include "ui/logMenu.h"
#include "ui/logSearchBar.h"
#include "ui/logView.h"
#include "ui/mainWindow.h"
#include "ui/menuTable.h"
#include "util/presetPrompt.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTextBlock>

#include <gtest/gtest.h>

namespace {

// The program's log without the copy on standard error.
struct TquietServices
{
    TquietServices() { setLogToStderr(false); }
    ~TquietServices() { setLogToStderr(true); }
    Tservices services;
};

// The view's lines as the model has them (the model keeps the log's text).
QString modelText()
{
    QString t = TlogModel::instance().text();
    t.chop(1); // the view has no line end after its last line
    return t;
}

// Lines that follow a flush closely wait for the next one: the view is
// settled once it shows what the model holds.
bool settled(TlogView &v)
{
    return QTest::qWaitFor([&] { return v.shownLines() == TlogModel::instance().lineCount(); }, 2000);
}

} // namespace

TEST(LogView, BurstIsShownInOnePassAndTrimmedFromTheTop)
{
    TquietServices s;
    TlogSettings settings = logSettings();
    settings.maxLines = 2000;
    setLogSettings(settings);
    TlogView v;
    for (int i = 1; i <= 2000; ++i)
        add2log(QStringLiteral("entry %1").arg(i));
    // Nothing is drawn line by line: the view waits for the loop.
    EXPECT_EQ(v.shownLines(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(v.shownLines(), 2000);
    EXPECT_EQ(v.toPlainText(), modelText());

    // Mark the last line's block: trimming must leave it in place.
    v.document()->lastBlock().setUserState(42);
    add2log(QStringLiteral("entry 2001")); // over the limit: 1800 remain
    // Right after a flush, the view waits a moment, so a steady flow of
    // lines is laid out a few times a second, not at every pass.
    QCoreApplication::processEvents();
    EXPECT_EQ(v.shownLines(), 2000);
    ASSERT_TRUE(settled(v));
    EXPECT_EQ(TlogModel::instance().lineCount(), 1800);
    EXPECT_EQ(v.shownLines(), 1800);
    EXPECT_EQ(v.document()->blockCount(), 1800);
    EXPECT_EQ(v.toPlainText(), modelText());
    EXPECT_TRUE(v.document()->firstBlock().text().endsWith(QStringLiteral("entry 202")));
    QTextBlock marked = v.document()->findBlockByNumber(1798);
    EXPECT_TRUE(marked.text().endsWith(QStringLiteral("entry 2000")));
    EXPECT_EQ(marked.userState(), 42);

    // A burst that trims lines never shown: still the model's lines.
    for (int i = 2002; i <= 4500; ++i)
        add2log(QStringLiteral("entry %1").arg(i));
    ASSERT_TRUE(settled(v));
    EXPECT_LE(v.shownLines(), 2000);
    EXPECT_EQ(v.toPlainText(), modelText());
    EXPECT_TRUE(v.document()->lastBlock().text().endsWith(QStringLiteral("entry 4500")));
}

TEST(LogView, ColoursOfStampClientAndContinuation)
{
    TquietServices s;
    TlogView v;
    add2log(QStringLiteral("Served 1 KB\rsecond part"), TlogPeer{QString(), QStringLiteral("10.0.0.9"), QStringLiteral("4000"), QString()});
    QCoreApplication::processEvents();
    ASSERT_EQ(v.document()->blockCount(), 2);
    const QTextBlock first = v.document()->firstBlock();
    EXPECT_TRUE(first.text().contains(QStringLiteral("  10.0.0.9:4000  Served 1 KB")));
    const auto colourAt = [](const QTextBlock &b, int pos) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (pos >= f.position() - b.position() && pos < f.position() - b.position() + f.length())
                return f.charFormat().foreground().color();
        }
        return QColor();
    };
    EXPECT_EQ(colourAt(first, 0), QColor(255, 0, 0));
    EXPECT_EQ(colourAt(first, int(first.text().indexOf(QStringLiteral("10.0.0.9")))), QColor(0, 128, 0));
    const QTextBlock second = first.next();
    EXPECT_TRUE(second.text().startsWith(QStringLiteral("> second part")));
    EXPECT_EQ(colourAt(second, 0), QColor(0, 0, 255));
}

TEST(LogView, SearchBoxFindsBackwardsAndTurnsPinkOnNothing)
{
    TquietServices s;
    TlogView v;
    for (const char *line : {"apple on board", "nothing", "a cab here", "b without a"})
        add2log(QString::fromLatin1(line));
    QCoreApplication::processEvents();
    v.moveCursor(QTextCursor::End);
    TlogSearchBar bar(&v);
    bar.box()->setText(QStringLiteral("a*b"));
    ASSERT_TRUE(bar.searchNow(-1));
    // The nearest earlier match: the "ab" of "cab" on the third line (the
    // "a" of the last line reaches no "b").
    EXPECT_EQ(v.textCursor().block().blockNumber(), 2);
    EXPECT_EQ(v.textCursor().selectedText(), QStringLiteral("ab"));
    EXPECT_FALSE(bar.isPink());
    ASSERT_TRUE(bar.searchNow(-1));
    EXPECT_EQ(v.textCursor().block().blockNumber(), 2);
    EXPECT_EQ(v.textCursor().selectedText(), QStringLiteral("a cab"));
    ASSERT_TRUE(bar.searchNow(-1));
    EXPECT_EQ(v.textCursor().block().blockNumber(), 0);
    EXPECT_TRUE(v.textCursor().selectedText().startsWith(QStringLiteral("apple on b")));
    const QString before = v.textCursor().selectedText();

    // Typing a text that is nowhere: the box turns pink, the selection stays.
    bar.box()->clear();
    QTest::keyClicks(bar.box(), QStringLiteral("zebra"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar.isPink(); }, 3000));
    EXPECT_EQ(bar.box()->palette().color(QPalette::Base), QColor(255, 192, 203));
    EXPECT_EQ(v.textCursor().selectedText(), before);
    // Typing a text that is there selects it and clears the pink.
    bar.box()->clear();
    QTest::keyClicks(bar.box(), QStringLiteral("WITHOUT"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v.textCursor().selectedText() == QStringLiteral("without"); }, 3000));
    EXPECT_FALSE(bar.isPink());
}

TEST(LogView, RightClickPicksTheLineThatBanThisAddressUses)
{
    TquietServices s;
    opts().easy = false;
    TlogView v;
    v.resize(600, 300);
    add2log(QStringLiteral("Server start"));
    add2log(QStringLiteral("Served 1 KB"), TlogPeer{QStringLiteral("ann"), QStringLiteral("10.1.1.7"), QStringLiteral("5000"), QString()});
    QCoreApplication::processEvents();
    v.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
    int menus = 0;
    v.contextMenuRequested = [&](const QPoint &) { ++menus; };

    QStringList banned;
    TlogMenuHooks hooks;
    hooks.banAddress = [&](const QString &a) { banned << a; };
    const QList<TmenuEntry> entries = logMenuEntries(&v, hooks);
    const TmenuEntry *ban = findMenuEntry(entries, QStringLiteral("Ban this address"));
    ASSERT_TRUE(ban);

    const auto rightClickLine = [&](int line) {
        const QRect r = v.cursorRect(QTextCursor(v.document()->findBlockByNumber(line)));
        QTest::mouseClick(v.viewport(), Qt::RightButton, {}, r.center() + QPoint(30, 0));
    };
    rightClickLine(1);
    EXPECT_EQ(v.textCursor().blockNumber(), 1);
    EXPECT_EQ(v.caretLineAddress(), QStringLiteral("10.1.1.7"));
    EXPECT_TRUE(menuEntryOffered(*ban, true));
    triggerMenuEntry(*ban);
    EXPECT_EQ(banned, QStringList{QStringLiteral("10.1.1.7")});

    // The menu's own event also moves the caret first, then asks for the menu.
    const int menusBefore = menus;
    const QRect r0 = v.cursorRect(QTextCursor(v.document()->findBlockByNumber(0)));
    QContextMenuEvent ev(QContextMenuEvent::Mouse, r0.center() + QPoint(30, 0), v.viewport()->mapToGlobal(r0.center()));
    QCoreApplication::sendEvent(v.viewport(), &ev);
    EXPECT_EQ(menus, menusBefore + 1);
    EXPECT_EQ(v.textCursor().blockNumber(), 0);
    EXPECT_FALSE(menuEntryOffered(*ban, true));
}

TEST(LogView, MenuCommandsCopyClearSaveAndSwitches)
{
    TquietServices s;
    opts().easy = false;
    TlogView v;
    add2log(QStringLiteral("one"));
    add2log(QStringLiteral("two"));
    QCoreApplication::processEvents();
    const QList<TmenuEntry> entries = logMenuEntries(&v, {});

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("saved.log"));
    ASSERT_TRUE(v.saveTo(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), v.toPlainText());

    // A switch of "Log what" is an option.
    const TmenuEntry *requests = findMenuEntry(entries, QStringLiteral("Requests"));
    ASSERT_TRUE(requests);
    const bool was = opts().logRequests;
    triggerMenuEntry(*requests);
    EXPECT_EQ(opts().logRequests, !was);
    // Read-only follows its option at once.
    const TmenuEntry *readOnly = findMenuEntry(entries, QStringLiteral("Read-only"));
    ASSERT_TRUE(readOnly);
    const bool ro = v.isReadOnly();
    triggerMenuEntry(*readOnly);
    EXPECT_EQ(v.isReadOnly(), !ro);
    EXPECT_EQ(opts().logReadOnly, !ro);
    // Expert-only entries leave the easy menu.
    EXPECT_FALSE(menuEntryOffered(*findMenuEntry(entries, QStringLiteral("Clear and reset totals")), false));

    const TmenuEntry *clear = findMenuEntry(entries, QStringLiteral("Clear"));
    ASSERT_TRUE(clear);
    triggerMenuEntry(*clear);
    QCoreApplication::processEvents();
    EXPECT_TRUE(v.toPlainText().isEmpty());
    EXPECT_EQ(TlogModel::instance().lineCount(), 0);
    // New lines after a clear start the view again.
    add2log(QStringLiteral("three"));
    ASSERT_TRUE(settled(v));
    EXPECT_EQ(v.shownLines(), 1);
    EXPECT_TRUE(v.toPlainText().endsWith(QStringLiteral("three")));
}

TEST(LogView, CopyToEditorWholeOrOnlyMatchingLines)
{
    TquietServices s;
    TlogView v;
    add2log(QStringLiteral("Not served: 404 - x"));
    add2log(QStringLiteral("Served 1 KB"));
    add2log(QStringLiteral("404 again"));
    QCoreApplication::processEvents();
    TlogSearchBar bar(&v);
    QStringList opened;
    bar.openInEditor = [&](const QString &t) { opened << t; };
    EXPECT_FALSE(bar.copyMatchingButton()->isEnabled());
    bar.box()->setText(QStringLiteral("404"));
    EXPECT_TRUE(bar.copyMatchingButton()->isEnabled());

    bar.copyToEditor(true);
    ASSERT_EQ(opened.size(), 1);
    const QStringList lines = opened[0].split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("Not served: 404 - x")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("404 again")));
    bar.copyToEditor(false);
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[1], v.toPlainText());

    // Nothing matched: a warning, no editor.
    auto *answers = new TpresetPrompt;
    setPrompt(std::unique_ptr<Tprompt>(answers));
    bar.box()->setText(QStringLiteral("500"));
    bar.copyToEditor(true);
    EXPECT_EQ(opened.size(), 2);
    EXPECT_EQ(answers->messages(), QStringList{QStringLiteral("It's empty")});
    setPrompt(nullptr);
}

TEST(LogView, MainMenuCarriesTheLogMenuAndOptionsReachTheView)
{
    TquietServices s;
    opts().easy = true;
    TmainWindow w;
    const QList<TmenuEntry> main = w.mainMenuEntries();
    const TmenuEntry *log = findMenuEntry(main, QStringLiteral("Log"));
    ASSERT_TRUE(log);
    ASSERT_TRUE(log->liveChildren);
    const QList<TmenuEntry> entries = log->liveChildren();
    const TmenuEntry *what = findMenuEntry(entries, QStringLiteral("Log what"));
    ASSERT_TRUE(what);
    QStringList easy;
    for (const TmenuEntry &e : what->children)
        if (menuEntryOffered(e, false))
            easy << e.caption;
    EXPECT_TRUE(easy.contains(QStringLiteral("Full downloads")));
    EXPECT_FALSE(easy.contains(QStringLiteral("Bytes sent")));
    // The Apache format is offered only with a log file.
    const TmenuEntry *apache = findMenuEntry(entries, QStringLiteral("Apache log file format..."));
    ASSERT_TRUE(apache);
    opts().logFileName.clear();
    EXPECT_FALSE(menuEntryOffered(*apache, true));
    opts().logFileName = QStringLiteral("zof-%y%.log");
    EXPECT_TRUE(menuEntryOffered(*apache, true));
    EXPECT_FALSE(menuEntryOffered(*apache, false));

    // An option applied from elsewhere reaches the view.
    cfg().setCfg(QStringLiteral("log-read-only=no"), true);
    EXPECT_FALSE(w.log()->isReadOnly());
    cfg().setCfg(QStringLiteral("log-read-only=yes"), true);
    EXPECT_TRUE(w.log()->isReadOnly());
}
