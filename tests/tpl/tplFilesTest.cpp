// Templates read from files: the cache and the main template.
#include "tpl/cachedTpls.h"
#include "tpl/mainTemplate.h"
#include "util/workingFolder.h"

#include "tplFileTools.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(CachedTpls, ReloadsOnChangeAndKeepsOldCopiesAlive)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.tpl"));
    TcachedTpls cache;
    EXPECT_EQ(cache.getTplFor(path), nullptr);
    writeFile(path, "[s]\none", 1000000);
    const TtplPtr first = cache.getTplFor(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->getTxt(QStringLiteral("s")), QStringLiteral("one"));
    EXPECT_EQ(cache.getTplFor(path), first); // unchanged file: same object
    writeFile(path, "[s]\ntwo", 1000100);
    const TtplPtr second = cache.getTplFor(path);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->getTxt(QStringLiteral("s")), QStringLiteral("two"));
    EXPECT_EQ(first->getTxt(QStringLiteral("s")),
              QStringLiteral("one"));       // a page still using it is safe
    writeFile(path, "[s]\nthree", 1000100); // same time, other size
    EXPECT_EQ(cache.getTplFor(path)->getTxt(QStringLiteral("s")), QStringLiteral("three"));
    QFile::remove(path);
    EXPECT_EQ(cache.getTplFor(path), nullptr);
}

TEST(CachedTpls, RelativeNamesFollowTheWorkingFolder)
{
    QTemporaryDir a, b;
    writeFile(a.filePath(QStringLiteral("t.tpl")), "[s]\nin a", 1000000);
    writeFile(b.filePath(QStringLiteral("t.tpl")), "[s]\nin b", 1000000);
    TcachedTpls cache;
    ASSERT_TRUE(setWorkingFolder(a.path()));
    const TtplPtr fromA = cache.getTplFor(QStringLiteral("t.tpl"));
    ASSERT_TRUE(setWorkingFolder(b.path()));
    const TtplPtr fromB = cache.getTplFor(QStringLiteral("t.tpl"));
    resetWorkingFolder();
    ASSERT_TRUE(fromA && fromB);
    EXPECT_EQ(fromA->getTxt(QStringLiteral("s")), QStringLiteral("in a"));
    EXPECT_EQ(fromB->getTxt(QStringLiteral("s")), QStringLiteral("in b"));
}

TEST(CachedTpls, IsBoundedAndRefusesSpecialFiles)
{
    TcachedTpls cache;
    for (int i = 0; i < 150; ++i)
        cache.getTplFor(QStringLiteral("/nonexistent/") + QString::number(i));
    EXPECT_EQ(cache.size(), TcachedTpls::kMaxEntries);
    EXPECT_EQ(cache.getTplFor(QStringLiteral("/dev/zero")), nullptr);
}

TEST(MainTemplate, ApiLevelCheckAndFallback)
{
    setDefaultTemplateText(
        QStringLiteral("[api level]\n2\n[style]\ndefault style\n[special:import]\n\n"));
    QStringList messages;
    setTemplateErrorReporter([&messages](const QString &m) { messages << m; });

    EXPECT_TRUE(loadMainTemplate(QStringLiteral("[api level]\n 3 \n[style]\nmine\n")));
    EXPECT_TRUE(customizedTemplate());
    EXPECT_EQ(mainTpl()->getTxt(QStringLiteral("style")), QStringLiteral("mine"));

    const TtplPtr held = mainTpl();
    for (const char *bad :
         {"[api level]\n1\n[style]\nold", "[style]\nno level", "[api level]\ntwo\n"}) {
        EXPECT_FALSE(loadMainTemplate(QString::fromUtf8(bad))) << bad;
        EXPECT_FALSE(customizedTemplate());
        EXPECT_EQ(mainTpl()->getTxt(QStringLiteral("style")), QStringLiteral("default style"));
    }
    EXPECT_EQ(messages.size(), 3);
    EXPECT_EQ(messages.value(0), kIncompatibleTemplateMsg);
    EXPECT_EQ(held->getTxt(QStringLiteral("style")),
              QStringLiteral("mine")); // swapped, not changed

    // The default's own text counts as no customisation.
    EXPECT_TRUE(
        loadMainTemplate(QStringLiteral("  ") + defaultTpl()->src() + QStringLiteral("\n")));
    EXPECT_FALSE(customizedTemplate());
    EXPECT_TRUE(loadMainTemplate(QString()));
    setTemplateErrorReporter(nullptr);
}
