// Templates read from files: the cache, the main template and its file.
#include "script/macroEngine.h"
#include "tpl/cachedTpls.h"
#include "tpl/mainTemplate.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void writeFile(const QString &path, const QByteArray &bytes, qint64 mtimeSecs)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.flush(); // a later flush would move the time again
    ASSERT_TRUE(
        f.setFileTime(QDateTime::fromSecsSinceEpoch(mtimeSecs), QFileDevice::FileModificationTime));
    f.close();
}

} // namespace

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

TEST(MainTemplate, WatchedFileAndImport)
{
    setDefaultTemplateText(QStringLiteral("[api level]\n2\n[style]\ndefault style\n"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zof.tpl"));
    writeFile(path,
              "[api level]\n2\n[style]\nv1\n[special:import]\n{.set|#imported|{.^#imported.}x.}\n",
              2000000);
    QStringList imports;
    setTemplateImportRunner([&imports](const QString &text, const QString &file) {
        imports << file + QLatin1Char(':') + text;
    });

    selectTemplateFile(path);
    EXPECT_EQ(templateFileName(), path);
    watchTemplateFile();
    EXPECT_EQ(mainTpl()->getTxt(QStringLiteral("style")), QStringLiteral("v1"));
    ASSERT_EQ(imports.size(), 1); // runs once, for the selection
    EXPECT_TRUE(imports.first().endsWith(QLatin1String(":{.set|#imported|{.^#imported.}x.}")));

    watchTemplateFile(); // unchanged: nothing happens
    writeFile(path, "[api level]\n2\n[style]\nv2\n", 2000100);
    watchTemplateFile();
    EXPECT_EQ(mainTpl()->getTxt(QStringLiteral("style")), QStringLiteral("v2"));
    EXPECT_EQ(imports.size(), 1);

    QFile::remove(path);
    watchTemplateFile();
    EXPECT_EQ(mainTpl()->getTxt(QStringLiteral("style")), QStringLiteral("default style"));
    EXPECT_FALSE(customizedTemplate());

    // Without a runner the import section runs as a script.
    setTemplateImportRunner(nullptr);
    writeFile(path, "[api level]\n2\n[special:import]\n{.set|#imported|{.^#imported.}x.}\n",
              2000200);
    selectTemplateFile(path);
    watchTemplateFile();
    EXPECT_EQ(globalVars().value(QStringLiteral("imported")), QStringLiteral("x"));
    runTemplateImport();
    EXPECT_EQ(globalVars().value(QStringLiteral("imported")), QStringLiteral("xx"));
    globalVars().setVar(QStringLiteral("imported"), QString());
    selectTemplateFile(QString());
    watchTemplateFile();
    EXPECT_FALSE(customizedTemplate());
}
