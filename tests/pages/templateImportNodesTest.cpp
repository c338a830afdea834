// "special:import" sees the selected template file as its item and the
// file's folder as its folder.
#include "pages/symbols.h"
#include "pages/templateImport.h"
#include "script/macroEngine.h"
#include "tpl/mainTemplate.h"
#include "util/files.h"

#include "tpl/tplFileTools.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(TemplateImport, ItemAndFolderSymbolsNameTheFileAndItsFolder)
{
    registerPageSymbols();
    installTemplateImportRunner();
    setDefaultTemplateText(QStringLiteral("[api level]\n2\n"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mine.tpl"));
    writeFile(path,
              "[api level]\n2\n[special:import]\n"
              "{.set|#imported|%item-name%;%item-resource%;%folder-name%;%folder-resource%.}\n",
              3000000);
    selectTemplateFile(path);
    watchTemplateFile();
    EXPECT_EQ(globalVars().value(QStringLiteral("imported")),
              QStringLiteral("mine.tpl;%1;%2;%3")
                  .arg(templatePath(path), QFileInfo(dir.path()).fileName(), templatePath(dir.path())));

    // A relative file name is the program's folder's.
    setFilesBaseFolder(dir.path());
    globalVars().clear();
    runTemplateImportText(QStringLiteral("{.set|#imported|%item-resource%.}"), QStringLiteral("mine.tpl"));
    EXPECT_EQ(globalVars().value(QStringLiteral("imported")), templatePath(path));

    setFilesBaseFolder(QString());
    globalVars().clear();
    setTemplateImportRunner(nullptr);
    selectTemplateFile(QString());
    watchTemplateFile();
    setDefaultTemplateText(QString());
}
