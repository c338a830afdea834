// The main template's file, watched and reloaded, and its "special:import"
// section, given to the program's runner or else run as a script.
#include "script/macroEngine.h"
#include "tpl/mainTemplate.h"

#include "tpl/tplFileTools.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
