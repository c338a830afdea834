#include "pages/templateImport.h"

#include "script/macroEngine.h"
#include "tpl/mainTemplate.h"
#include "util/files.h"
#include "vfs/file.h"

#include <QFileInfo>

void runTemplateImportText(const QString &text, const QString &tplFile)
{
    TfilePtr item, folder;
    if (!tplFile.isEmpty()) {
        const QString path = absoluteFilePath(tplFile);
        item = Tfile::createTemp(path);
        folder = Tfile::createTemp(QFileInfo(path).absolutePath());
    }
    runScriptText(text, {}, mainTpl(), nullptr, folder.data(), item.data());
}

void installTemplateImportRunner()
{
    setTemplateImportRunner(runTemplateImportText);
}
