#include "testServices.h"

#include "script/macroEngine.h"
#include "tpl/mainTemplate.h"
#include "util/service.h"
#include "vfs/account.h"
#include "vfs/vfs.h"

namespace {
struct Tservices
{
    Tservices() { installTemplateScriptRunner(); }
    Towned<Taccounts> accounts;
    Towned<Tvfs> tree;
    Towned<Ttemplates> templates;
};
} // namespace

ZOF_TEST_SERVICES(Tservices);
