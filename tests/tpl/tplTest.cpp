// Template text parsing, inheritance and the string table.
#include "tpl/tpl.h"
#include "qtPrinters.h"

#include <gtest/gtest.h>

namespace {

QString body(const Ttpl &t, const char *name)
{
    const TtplSection *s = t.getSection(QString::fromUtf8(name));
    return s ? s->txt : QStringLiteral("<none>");
}

} // namespace

TEST(Tpl, HeaderLines)
{
    const struct
    {
        const char *text;
        const char *section;
        const char *expected;
    } cases[] = {
        {"[a]  \r\nbody", "a", "body"},
        {"[a]\t\nx\n[a] b\ny", "a", "x\n[a] b\ny"},
        {"[a]\nx\n[a]b]\n", "a", "x\n[a]b]"},
        {"[a]\nx\n[no close\n", "a", "x\n[no close"},
        {"[a]\nx\n [b]\n", "a", "x\n [b]"},
        {"[a]\r\nline1\r\nline2\r\n[b]\r\n", "a", "line1\r\nline2"},
        {"[a]\nx\n\n\n", "a", "x\n\n"}, // one trailing break goes, the blank lines stay
        {"[a]\n[b]\n", "a", ""},
        {"free text\n[a]\nx", "", "free text"},
        {"only text, no header", "", "only text, no header"},
        {"  \n\t\n[a]\nx", "", "<none>"},
        {"comment\n[]\nmain", "", "main"},
        {"[a]\nx\n[b]", "b", "<none>"}, // a header on the last line, without line feed
        {"[a]\nx\n[b]", "a", "x"},
        {"\u00EF\u00BB\u00BF[a]\nbom", "a", "bom"},
        {"\uFEFF[a]\nbom", "a", "bom"},
        {"[ spaced = names ]\nv", "names", "v"},
    };
    for (const auto &c : cases) {
        const Ttpl t(QString::fromUtf8(c.text));
        EXPECT_EQ(body(t, c.section), QString::fromUtf8(c.expected)) << c.text;
    }
}

TEST(Tpl, FlagsNamesAndAppends)
{
    const Ttpl t(QStringLiteral("[x=y|private|cache]\nxy\n[l|no list|no log|unknown]\nl\n"
                                "[x]\nnew x\n[+y|no log]\n+more\n[+z]\nz"));
    const TtplSection *x = t.getSection(QStringLiteral("x"));
    const TtplSection *y = t.getSection(QStringLiteral("y"));
    const TtplSection *l = t.getSection(QStringLiteral("l"));
    ASSERT_TRUE(x && y && l);
    EXPECT_EQ(x->txt, QStringLiteral("new x"));
    EXPECT_FALSE(x->nourl); // redefined without flags
    EXPECT_EQ(y->txt, QStringLiteral("xy+more"));
    EXPECT_TRUE(y->nourl);
    EXPECT_TRUE(y->nolog);
    EXPECT_TRUE(y->cache); // an append keeps the first definition's cache flag
    EXPECT_TRUE(l->noList && l->nolog && !l->nourl && !l->cache);
    EXPECT_EQ(body(t, "z"), QStringLiteral("z"));
    EXPECT_EQ(t.getSections(), (QStringList{"x", "y", "l", "z"}));
    EXPECT_GT(x->ts, 40000.0);
}

TEST(Tpl, ConditionsOnBuildVersionAndTemplateId)
{
    Ttpl::setProgramVersion(QStringLiteral("2.4.1"), QStringLiteral("90"));
    const Ttpl t(QStringLiteral(
        "[a|build=1-2]\nskipped\n[b|build=100]\nused\n[c|build=-80]\nskipped\n[d|ver=2.4.*]\nused\n"
        "[e|ver=3.*]\nskipped\n[f|template=def*]\nskipped, no id yet\n[template id]\ndefault "
        "one\nsecond line\n"
        "[g|template=def*]\nused\n[h|template=other]\nskipped\n[i|color=red]\nused\n"));
    EXPECT_EQ(body(t, "a"), QStringLiteral("<none>"));
    EXPECT_EQ(body(t, "b"), QStringLiteral("used"));
    EXPECT_EQ(body(t, "c"), QStringLiteral("<none>"));
    EXPECT_EQ(body(t, "d"), QStringLiteral("used"));
    EXPECT_EQ(body(t, "e"), QStringLiteral("<none>"));
    EXPECT_EQ(body(t, "f"), QStringLiteral("<none>"));
    EXPECT_EQ(body(t, "g"), QStringLiteral("used"));
    EXPECT_EQ(body(t, "h"), QStringLiteral("<none>"));
    EXPECT_EQ(body(t, "i"), QStringLiteral("used"));
    // The id may come from the template below.
    auto below = std::make_shared<Ttpl>(QStringLiteral("[template id]\r\ndefault\r\n"));
    const Ttpl over(QStringLiteral("[j|template=def*]\nused\n"), below);
    EXPECT_EQ(body(over, "j"), QStringLiteral("used"));
    Ttpl::setProgramVersion(QStringLiteral("1.0"), QStringLiteral("1"));
}

TEST(Tpl, InheritanceAndStringTable)
{
    auto main =
        std::make_shared<Ttpl>(QStringLiteral("[special:strings]\nhello=Hi\nboth=main\n[style]"
                                              "\nmain style\n[file]\nf\n[file.jpg]\njpg\n"));
    const Ttpl diff(
        QStringLiteral("[+special:strings]\nboth=diff\nonly=diff only\n[style]\ndiff style\n"),
        main);
    EXPECT_EQ(diff.getTxt(QStringLiteral("style")), QStringLiteral("diff style"));
    EXPECT_EQ(diff.getTxt(QStringLiteral("file")), QStringLiteral("f"));
    EXPECT_EQ(diff.getSection(QStringLiteral("file"), false), nullptr);
    EXPECT_TRUE(diff.sectionExist(QStringLiteral("file")));
    EXPECT_EQ(diff.getTxt(QStringLiteral("special:strings")),
              QStringLiteral("hello=Hi\nboth=main") + QStringLiteral("both=diff\nonly=diff only"));
    EXPECT_EQ(diff.getStrByID(QStringLiteral("HELLO")), QStringLiteral("Hi"));
    EXPECT_EQ(diff.getStrByID(QStringLiteral("only")), QStringLiteral("diff only"));
    EXPECT_EQ(diff.getStrByID(QStringLiteral("missing")), QString());
    EXPECT_EQ(diff.getTxtByExt(QStringLiteral(".jpg")), QStringLiteral("jpg"));
    EXPECT_EQ(diff.getTxtByExt(QStringLiteral(".JPG")), QString());
    EXPECT_EQ(diff.getSections(), (QStringList{"special:strings", "style"}));
    // A template without strings of its own answers as the one below it,
    // however deep, and follows it when it changes.
    auto middle = std::make_shared<Ttpl>(QStringLiteral("[style]\nmiddle\n"), main);
    const Ttpl top(QStringLiteral("[file]\ntop\n"), middle);
    EXPECT_EQ(top.getStrByID(QStringLiteral("both")), QStringLiteral("main"));
    EXPECT_EQ(top.getStrByID(QStringLiteral("hello")), QStringLiteral("Hi"));
    EXPECT_EQ(top.getStrByID(QStringLiteral("only")), QString());
    main->setFullText(QStringLiteral("[special:strings]\nboth=changed\n"));
    EXPECT_EQ(top.getStrByID(QStringLiteral("both")), QStringLiteral("changed"));
    EXPECT_EQ(top.getStrByID(QStringLiteral("hello")), QString());
}

TEST(Tpl, AppendStringAndFullText)
{
    Ttpl t(QStringLiteral("[a]\n1\n[special:strings]\nk=v"));
    EXPECT_EQ(t.getStrByID(QStringLiteral("k")), QStringLiteral("v"));
    t.appendString(QStringLiteral("[+a]\n2\n"));
    EXPECT_EQ(body(t, "a"), QStringLiteral("12"));
    EXPECT_EQ(t.src(), QStringLiteral("[a]\n1\n[special:strings]\nk=v[+a]\n2\n"));
    t.appendString(QString());
    t.setFullText(QStringLiteral("[b]\nx"));
    EXPECT_EQ(body(t, "a"), QStringLiteral("<none>"));
    EXPECT_EQ(t.getStrByID(QStringLiteral("k")), QString()); // the table went with the text
}

TEST(Tpl, WithOverLeavesTheSharedTemplateAlone)
{
    auto a = std::make_shared<Ttpl>(QStringLiteral("[s]\nfrom a\n[only a]\nA\n"));
    auto b = std::make_shared<Ttpl>(QStringLiteral("[s]\nfrom b\n[only b]\nB\n"));
    auto conn = std::make_shared<Ttpl>(QStringLiteral("[c]\nconn\n"), a);
    const auto page = conn->withOver(b);
    EXPECT_EQ(page->getTxt(QStringLiteral("c")), QStringLiteral("conn"));
    EXPECT_EQ(page->getTxt(QStringLiteral("only b")), QStringLiteral("B"));
    EXPECT_EQ(conn->getTxt(QStringLiteral("only a")), QStringLiteral("A"));
    EXPECT_EQ(conn->over(), a);
}
