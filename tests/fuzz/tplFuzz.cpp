// Feeds arbitrary text to the template reader: sections, their flags,
// conditions and "+" additions, over a template below, and as the main
// template of the program. Besides crashes and sanitizer reports it checks
// that every section listed can be looked up, that none is listed twice,
// and that without additions a section's text is a piece of the source.

#include "fuzzTools.h"

#include "tpl/mainTemplate.h"
#include "tpl/tpl.h"
#include "util/service.h"

#include <QSet>

namespace {

TtplPtr below()
{
    static const TtplPtr t = std::make_shared<Ttpl>(QStringLiteral(
        "[]\nbody\n[special:strings]\nx=1\n[file=folder|no log]\nitem\n[api level]\n2\n"));
    return t;
}

void checkSections(const Ttpl &t, const QString &text)
{
    const QStringList names = t.getSections();
    fuzzCheck(QSet<QString>(names.begin(), names.end()).size() == names.size(), "each section listed once",
              names.join(u'\n'));
    // An addition ("[+name]") joins texts; every other section is cut from the source.
    const bool additions = text.contains(QLatin1String("[+"));
    for (const QString &name : names) {
        const TtplSection *s = t.getSection(name, false);
        fuzzCheck(s && s->name == name, "a listed section is found", name);
        fuzzCheck(additions || t.src().contains(s->txt), "a section's text comes from the source", name);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Towned<Ttemplates> templates;
    const QString text = fuzzText(data, size);

    const Ttpl alone(text);
    checkSections(alone, text);
    const Ttpl over(text, below());
    checkSections(over, text);
    for (const QString &name : over.getSections())
        (void)over.getStrByID(name);
    (void)over.getStrByID(QStringLiteral("x"));
    checkSections(*over.withOver(nullptr), text);

    setTemplateErrorReporter([](const QString &) {});
    loadMainTemplate(text);
    (void)mainTpl()->getTxt(QStringLiteral("api level"));
    return 0;
}
