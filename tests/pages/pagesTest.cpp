// Pieces of folder and special pages that need no tree: the built-in
// templates, build slots, timing, the template chain, progress and upload
// texts, connection symbols.

#include "fakePageContext.h"
#include "macros/macrosRegistration.h"
#include "pages/folderPage.h"
#include "pages/pageContext.h"
#include "pages/specialPage.h"
#include "pages/symbols.h"
#include "script/macroData.h"
#include "script/macroEngine.h"
#include "script/macroRegistry.h"
#include "tpl/mainTemplate.h"
#include "util/dateTime.h"
#include "util/files.h"
#include "util/workingFolder.h"
#include "vfs/file.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString expand(TmacroData &md, const QString &text)
{
    QString t = text;
    runMacroText(t, md, true);
    return t;
}

TEST(BuiltinTemplates, DefaultHasEverySectionWithItsFlags)
{
    const Ttpl t(builtinTemplateText(QStringLiteral("default.tpl")));
    EXPECT_GE(t.getTxt("api level").trimmed().toInt(), 2);
    EXPECT_FALSE(t.getTxt("template id").isEmpty());
    const char *sections[] = {
        "", "special:strings", "common-head", "list panel", "menu panel", "title-bar", "folder panel",
        "upload panel", "search panel", "icons.css", "normalize.css", "style.css", "lib.js", "sha256.js",
        "file", "folder", "link", "error-page", "login", "not found", "overload", "max contemp downloads",
        "unauth", "deny", "ban", "upload", "upload-file", "upload-results", "upload-success", "upload-failed",
        "progress", "progress-nofiles", "progress-upload-file", "progress-download-file", "ajax.mkdir",
        "ajax.rename", "ajax.move", "ajax.comment", "ajax.changepwd", "special:alias", "special:import",
        "style", "loggedin", "login-link", "up", "newfile", "comment", "archive", "item-archive",
        "folder-comment", "files", "nofiles", "upload-link", "protected", "sort by"};
    for (const char *s : sections)
        EXPECT_TRUE(t.getSection(QString::fromLatin1(s))) << s;
    for (const char *asset : {"icons.css", "normalize.css", "style.css", "lib.js"}) {
        EXPECT_TRUE(t.getSection(asset)->nolog) << asset;
        EXPECT_TRUE(t.getSection(asset)->cache) << asset;
        EXPECT_FALSE(t.getSection(asset)->nourl) << asset;
    }
    EXPECT_TRUE(t.getSection("progress")->nolog);
    for (const char *item : {"file", "folder", "link", "list panel", "menu panel"})
        EXPECT_TRUE(t.getSection(item)->nourl) << item;
    // Item sections end their table row; the appends landed on the shared start.
    EXPECT_TRUE(t.getTxt("file").contains("%item-size%"));
    EXPECT_TRUE(t.getTxt("file").trimmed().endsWith("</tr>"));
    for (const char *s : {"option.newfolder", "option.move", "option.comment", "option.rename"})
        EXPECT_FALSE(t.getStrByID(s).isEmpty()) << s;
}

TEST(BuiltinTemplates, AjaxHandlersCheckRightsAndNames)
{
    const Ttpl t(builtinTemplateText(QStringLiteral("default.tpl")));
    for (const char *s : {"ajax.mkdir", "ajax.rename", "ajax.move", "ajax.comment", "ajax.changepwd"})
        EXPECT_TRUE(t.getSection(s)->nolog) << s;
    EXPECT_TRUE(t.getTxt("ajax.mkdir").contains("{.if not|{.=|{.get|can upload.}|1.}|")); // fails closed
    for (const char *s : {"ajax.rename", "ajax.move", "ajax.comment"})
        EXPECT_TRUE(t.getTxt(s).contains("{.get|can delete|path=")) << s;
    for (const char *s : {"ajax.mkdir", "ajax.rename", "ajax.move", "ajax.comment"})
        EXPECT_TRUE(t.getTxt(s).contains("{.bad name|")) << s;
    const QString alias = t.getTxt("special:alias");
    for (const char *piece : {"{.pos|/|$1.}", "{.pos|\\|$1.}", "{.pos|..|$1.}", "\\x00-\\x1F", "is file protected"})
        EXPECT_TRUE(alias.contains(piece)) << piece;
}

TEST(BuiltinTemplates, FileListAndDownloadManager)
{
    const Ttpl list(builtinTemplateText(QStringLiteral("filelist.tpl")));
    EXPECT_EQ(list.getTxt("").trimmed(), "%files%");
    EXPECT_EQ(list.getTxt("files").trimmed(), "%list%");
    EXPECT_EQ(list.getTxt("file").trimmed(), "%item-full-url%");
    EXPECT_TRUE(list.getTxt("file").endsWith('\n')); // one URL per line
    EXPECT_TRUE(list.getTxt("folder").endsWith('\n'));
    const Ttpl dm(builtinTemplateText(QStringLiteral("dm.tpl")));
    for (const char *s : {"", "up", "nofiles", "files", "file", "folder", "comment", "error-page", "not found", "overload"})
        EXPECT_TRUE(dm.getSection(s)) << s;
    EXPECT_FALSE(dm.getTxt("").contains("<script"));
}

TEST(BuildSlots, AtMostThreeAndOnePerAddress)
{
    EXPECT_TRUE(tryBuildSlot("10.0.0.1"));
    EXPECT_FALSE(tryBuildSlot("10.0.0.1")); // its first listing is still being built
    EXPECT_TRUE(tryBuildSlot("10.0.0.2"));
    EXPECT_TRUE(tryBuildSlot("10.0.0.3"));
    EXPECT_FALSE(tryBuildSlot("10.0.0.4")); // the fourth
    releaseBuildSlot("10.0.0.3");           // ended while three were running
    EXPECT_FALSE(tryBuildSlot("10.0.0.3")); // refused for one second
    EXPECT_TRUE(tryBuildSlot("10.0.0.4"));
    releaseBuildSlot("10.0.0.4");
    releaseBuildSlot("10.0.0.2");
    EXPECT_TRUE(tryBuildSlot("10.0.0.2")); // released below the maximum: at once
    releaseBuildSlot("10.0.0.2");
    releaseBuildSlot("10.0.0.1");
}

TEST(PageText, SequentialAndBuildTime)
{
    QString s = "a%sequential%b%sequential%c%SEQUENTIAL%";
    replacePageCounters(s, "0.5");
    EXPECT_EQ(s, "a1b2c%SEQUENTIAL%");
    // Both kinds mixed with stray percent signs; a replaced symbol's text is
    // not read again.
    s = "%%sequential%%build-time%%20%sequential%sequential%%build-time";
    replacePageCounters(s, "0.5");
    EXPECT_EQ(s, "%10.5%202sequential%%build-time");
    s = "no symbols, 100%";
    replacePageCounters(s, "0.5");
    EXPECT_EQ(s, "no symbols, 100%");
    // Many items numbered: each gets its own number.
    QString many, expected;
    for (int i = 1; i <= 3000; ++i) {
        many += "<i>%sequential%</i>";
        expected += "<i>" + QString::number(i) + "</i>";
    }
    replacePageCounters(many, "0.5");
    EXPECT_EQ(many, expected);
    // A long page with its counters near the end (a footer): replaced where
    // they stand, by values shorter or longer than the symbols.
    const QString body = QString(5000, u'x') + "%20%s%b";
    for (const QString &time : {QStringLiteral("1.5"), QStringLiteral("12345678.123456789")}) {
        QString page = body + "<f>%build-time% #%sequential% %build-time%%sequential%</f>";
        replacePageCounters(page, time);
        EXPECT_EQ(page, body + "<f>" + time + " #1 " + time + "2</f>");
    }
    // A symbol at every place against the steps the scan takes, after
    // encoded signs and near misses, and a lone "%s" at the very end.
    for (int lead = 0; lead < 20; ++lead) {
        const QString pad = QStringLiteral("%2%s%bx%%").left(lead % 9) + QString(lead, u'y');
        QString page = pad + "%sequential%" + pad + "%build-time%" + pad + "%s";
        replacePageCounters(page, "7");
        EXPECT_EQ(page, pad + "1" + pad + "7" + pad + "%s") << lead;
    }
    EXPECT_EQ(buildTimeText(15), "0.015");
    EXPECT_EQ(buildTimeText(2500), "2.500");
}

TEST(PageText, ModesByName)
{
    const struct {
        const char *name;
        TpageMode mode;
    } cases[] = {{"ban", PAGE_DENY},          {"deny", PAGE_DENY},
                 {"login", PAGE_DENY},        {"not found", PAGE_NOT_FOUND},
                 {"unauth", PAGE_UNAUTHORIZED}, {"overload", PAGE_OVERLOAD},
                 {"max contemp downloads", PAGE_OVERLOAD}, {"style.css", PAGE_REPLY},
                 {"Deny", PAGE_REPLY}};
    for (const auto &c : cases)
        EXPECT_EQ(pageModeFor(c.name), c.mode) << c.name;
}

TEST(PageText, TemplateChainCopiesSharedTemplates)
{
    auto request = std::make_shared<Ttpl>("[a]\nrequest a\n[b]\nrequest b\n[c]\nrequest c");
    auto own = std::make_shared<Ttpl>("[b]\nown b\n[c]\nown c");
    const TtplPtr chain = pageTemplateChain("[c]\ndiff c\n[+b]\n+", own, request);
    EXPECT_EQ(chain->getTxt("a"), "request a");
    EXPECT_EQ(chain->getTxt("b"), "own b+");
    EXPECT_EQ(chain->getTxt("c"), "diff c");
    EXPECT_EQ(own->over(), nullptr); // the shared template was not rewired
}

TEST(PageText, ProgressEntryEscapesNames)
{
    TpageTransfer t;
    t.fileName = "<b>'x\"|y.txt";
    t.user = "{.u.}";
    t.done = 50;
    t.total = 200;
    t.averageSpeed = 2345;
    t.address = "1.2.3.4";
    t.port = 5;
    const QString out = progressEntryText(
        "%FILENAME%~%filename-js%~%perc%~%done-bytes%/%total-bytes%~%speed-kb%~%item-user%~%item-ip%:%item-port%", t);
    const QStringList p = out.split('~');
    ASSERT_EQ(p.size(), 7);
    EXPECT_EQ(p[0], "{:&lt;b&gt;&#039;x&quot;|y.txt:}");
    EXPECT_EQ(p[1], "{:<b>\\u0027x\\u0022|y.txt:}");
    EXPECT_EQ(p[2], "25");
    EXPECT_EQ(p[3], "50/200");
    EXPECT_EQ(p[4], "2.3");
    EXPECT_EQ(p[5], "{:{.u.}:}");
    EXPECT_EQ(p[6], "1.2.3.4:5");
    t.fileName = "a\\b";
    EXPECT_EQ(progressEntryText("%filename-js%", t), "a\\u005Cb");
    // Symbols in a transferred name or a user name stay text.
    t.fileName = "%cwd%.txt";
    t.user = "%ip%";
    EXPECT_EQ(progressEntryText("%filename%~%filename-js%~%item-user%", t), "&#37;cwd%.txt~&#37;cwd%.txt~&#37;ip%");
    t.total = 0;
    EXPECT_EQ(progressEntryText("%perc%", t), "0");
}

TEST(PageText, UploadResultEntry)
{
    TpageUpload u;
    u.fn = "a b<.txt";
    u.size = 2048;
    u.speed = 12345;
    const QString out =
        uploadResultText("%item-name%#%item-url%#%item-size%#%idx%#%speed%#%smart-speed%#%item-resource%", u, 3,
                         "/srv/up");
    EXPECT_EQ(out, "a b&lt;.txt#a%20b%3C.txt#2.0 K#3#12#12.1 K#\\srv\\up\\a b<.txt");
    // A name holding symbols: neither this page's symbols nor the engine's
    // are found in what it gives.
    u.fn = "%idx%%ip%.txt";
    u.reason = "%reason%";
    EXPECT_EQ(uploadResultText("%item-name%#%item-url%#%reason%#%item-resource%", u, 1, "/srv/up"),
              "&#37;idx%&#37;ip%.txt#%25idx%25%25ip%25.txt#&#37;reason%#\\srv\\up\\&#37;idx%&#37;ip%.txt");
}

TEST(PageText, Uptime)
{
    EXPECT_EQ(uptimeText(false, 100), "server down");
    EXPECT_EQ(uptimeText(true, 300), "00:05:00");
    EXPECT_EQ(uptimeText(true, 2 * 86400 + 3 * 3600), "(2 days) 03:00:00");
}

// A connection seen only through the page interface.
class FakeConn : public TfakePageContext {
public:
    QString user() const override { return u; }
    QString pwd() const override { return QStringLiteral("p|w"); }
    QString address() const override { return QStringLiteral("192.168.1.9"); }
    int port() const override { return 4000; }
    QString host() const override { return QStringLiteral("example.com:8080"); }
    QString requestUrl() const override { return QStringLiteral("/a?x={.y.}"); }
    QString requestHeader(const QString &name) const override
    {
        return name == u"Accept-Language" ? QStringLiteral("i-t,en") /* two characters, letters kept */ : QString();
    }
    QString userNotes() const override { return QStringLiteral("notes"); }
    qint64 streamSize() const override { return 77; }
    QString u;
};

TEST(Symbols, ConnectionSymbolsAreQuotedAndNeedAConnection)
{
    registerConnectionSymbols(TmacroRegistry::instance());
    setDefaultTemplateText("[login-link]\nLOGIN\n[loggedin]\nIN");
    pageOptions().address2name = {"office", "10.*", "home", "192.168.*"};
    FakeConn c;
    c.u = "{.x.}";
    TpageContextScope scope(&c);
    TmacroData md;
    md.cd = &c;
    EXPECT_EQ(expand(md, "%user%|%password%"), "{.x.}|p|w");
    EXPECT_EQ(expand(md, "%url%"), "/a?x={.y.}");
    EXPECT_EQ(expand(md, "%ip%:%ip-to-name%:%lang%:%host%"), "192.168.1.9:home:i:example.com:8080");
    EXPECT_EQ(expand(md, "%loggedin%/%login-link%"), "IN/");
    EXPECT_EQ(expand(md, "%USER%"), "%USER%"); // fixed names match with letter case
    EXPECT_EQ(expand(md, "%stream-size% %user-notes% [%is-archive%]"), "77 notes []");
    c.u.clear();
    EXPECT_EQ(expand(md, "%loggedin%/%login-link%"), "/LOGIN");
    // Without a connection they stay as written.
    TmacroData none;
    EXPECT_EQ(expand(none, "%ip% %user%"), "%ip% %user%");
    setDefaultTemplateText(QString());
}

TEST(Symbols, ModifiedTimesReadAsTheLocaleWritesThem)
{
    // Texts are remembered by minute: seconds apart and across a minute's
    // end they must still be what the locale writes for each time.
    registerPageSymbols();
    const TfilePtr f = Tfile::createLink(QStringLiteral("x"));
    TmacroData md;
    md.f = f.data();
    const double minute = 1.0 / 1440, second = minute / 60;
    const double base = 46000 + 600 * minute; // 10:00 on a day of 2025
    const QLocale before;
    // With seconds in the short format and without them.
    for (const char *name : {"C", "en_US", "de_DE", "C"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
        for (const double d : {base, base + 0.4 * second, base + 10 * second, base + 59.4 * second,
                               base + 59.9996 * second, base + minute, base - 0.0001 * second,
                               base + 3 * minute + second, -1.25, 0.0}) {
            f->mtime = d;
            const QString want = d == 0 ? QStringLiteral("error")
                                        : QLocale().toString(fromDateTime(d), QLocale::ShortFormat);
            EXPECT_EQ(expand(md, "%item-modified%"), want) << name << " " << d;
        }
    }
    QLocale::setDefault(before);
}

TEST(Symbols, CwdShowsTheFolderChdirMoves)
{
    registerConnectionSymbols(TmacroRegistry::instance());
    registerFileMacros(TmacroRegistry::instance());
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    setFilesBaseFolder(dir.path());
    const QString processFolder = QDir::currentPath();
    TmacroData md;
    EXPECT_EQ(expand(md, "%cwd%"), templatePath(dir.path()));
    EXPECT_EQ(expand(md, "{.chdir|sub.}"), " ");
    EXPECT_EQ(expand(md, "%cwd%"), templatePath(dir.path() + "/sub"));
    EXPECT_EQ(QDir::currentPath(), processFolder);
    // A relative save writes in the program's folder and makes it current.
    EXPECT_EQ(expand(md, "{.save|f.txt|x.}"), " ");
    EXPECT_EQ(expand(md, "%cwd%"), templatePath(dir.path()));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("f.txt")));
    resetWorkingFolder();
    setFilesBaseFolder(QString());
}

TEST(Symbols, ServerCounts)
{
    registerConnectionSymbols(TmacroRegistry::instance());
    serverInfo().connections = [] {
        return QList<TserverInfo::Tconn>{{"1.1.1.1", "", false}, {"1.1.1.2", "", true}, {"1.1.1.1", "BOB", true},
                                         {"1.1.1.3", "bob", false}};
    };
    serverInfo().listening = [] { return false; };
    TmacroData md;
    EXPECT_EQ(expand(md, "%connections% %number-addresses% %number-addresses-downloading% %number-users% "
                         "%number-users-downloading% %uptime%"),
              "4 3 2 2 2 server down");
    serverInfo() = TserverInfo();
}

} // namespace
