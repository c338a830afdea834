#include "tpl/mainTemplate.h"

#include "util/files.h"
#include "util/service.h"

#include <QFile>
#include <QFileInfo>

const QString kIncompatibleTemplateMsg = QStringLiteral(
    "The template you are trying to load is not compatible with current ZOF version.\n"
    "ZOF will now use default template.\n"
    "Ask on the forum if you need further help.");

namespace {

Ttemplates &state()
{
    return Tservice<Ttemplates>::get();
}

qint64 regularFileTime(const QString &path)
{
    const QFileInfo fi(absoluteFilePath(path));
    return fi.isFile() ? qMax<qint64>(1, fi.lastModified().toMSecsSinceEpoch()) : 0;
}

} // namespace

TtplPtr defaultTpl()
{
    return state().defaultTpl;
}

TtplPtr mainTpl()
{
    return state().mainTpl;
}

TtplPtr dmBrowserTpl()
{
    return state().dmBrowserTpl;
}

TtplPtr fileListTpl()
{
    return state().fileListTpl;
}

void setDmBrowserTemplateText(const QString &text)
{
    state().dmBrowserTpl = std::make_shared<Ttpl>(text);
}

void setFileListTemplateText(const QString &text)
{
    state().fileListTpl = std::make_shared<Ttpl>(text);
}

void setDefaultTemplateText(const QString &text)
{
    Ttemplates &s = state();
    s.defaultTpl = std::make_shared<Ttpl>(text);
    s.mainTpl = std::make_shared<Ttpl>(s.mainText, s.defaultTpl);
}

bool loadDefaultTemplate(const QString &resourceName)
{
    QFile f(resourceName);
    if (!f.open(QIODevice::ReadOnly)) return false;
    setDefaultTemplateText(QString::fromUtf8(f.readAll()));
    return true;
}

bool loadMainTemplate(const QString &input)
{
    Ttemplates &s = state();
    QString text = input;
    if (text.trimmed() == s.defaultTpl->src().trimmed()) text.clear();
    auto tpl = std::make_shared<Ttpl>(text, s.defaultTpl);
    bool accepted = true;
    if (!text.isEmpty()) {
        const TtplSection *api = tpl->getSection(QStringLiteral("api level"), false);
        bool isInt = false;
        const qint64 level = api ? api->txt.trimmed().toLongLong(&isInt) : 0;
        if (!api || !isInt || level < 2) {
            accepted = false;
            text.clear();
            tpl = std::make_shared<Ttpl>(QString(), s.defaultTpl);
            s.fileName.clear();
            s.importPending = false;
            if (s.reporter) s.reporter(kIncompatibleTemplateMsg);
        }
    }
    s.mainText = text;
    s.mainTpl = tpl;
    s.customized = !tpl->src().isEmpty();
    if (s.importPending) {
        s.importPending = false;
        runTemplateImport();
    }
    return accepted;
}

void selectTemplateFile(const QString &fileName)
{
    Ttemplates &s = state();
    s.fileName = fileName;
    s.fileTime = -1;
    s.importPending = true;
}

QString templateFileName()
{
    return state().fileName;
}

void watchTemplateFile()
{
    Ttemplates &s = state();
    if (s.fileName.isEmpty()) {
        if (s.fileTime != 0) { // the file was dropped: back to the default
            s.fileTime = 0;
            loadMainTemplate(QString());
        }
        return;
    }
    const qint64 t = regularFileTime(s.fileName);
    if (t == 0) {
        if (s.fileTime != 0) {
            s.fileTime = 0;
            loadMainTemplate(QString());
        }
        return;
    }
    const qint64 size = QFileInfo(absoluteFilePath(s.fileName)).size();
    if (t == s.fileTime && size == s.fileSize) return;
    s.fileTime = t;
    s.fileSize = size;
    loadMainTemplate(loadTextFile(absoluteFilePath(s.fileName)));
}

bool customizedTemplate()
{
    return state().customized;
}

void runTemplateImport()
{
    Ttemplates &s = state();
    const TtplPtr main = s.mainTpl;
    const QString text = main->getTxt(QStringLiteral("special:import")).trimmed();
    if (text.isEmpty()) return;
    if (s.importRunner)
        s.importRunner(text, s.fileName);
    else if (s.scriptRunner)
        s.scriptRunner(text, main);
}

void setTemplateErrorReporter(std::function<void(const QString &)> reporter)
{
    state().reporter = std::move(reporter);
}

void setTemplateImportRunner(std::function<void(const QString &, const QString &)> runner)
{
    state().importRunner = std::move(runner);
}

void setTemplateScriptRunner(std::function<void(const QString &, const TtplPtr &)> runner)
{
    state().scriptRunner = std::move(runner);
}
