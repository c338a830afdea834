#include "testServices.h"

#include "script/macroEngine.h"
#include "tpl/mainTemplate.h"
#include "util/service.h"

namespace {
struct Tservices
{
    Tservices() { installTemplateScriptRunner(); }
    Towned<Ttemplates> templates;
};
} // namespace

ZOF_TEST_SERVICES(Tservices);
