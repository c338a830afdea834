#include "testServices.h"

#include "script/macroEngine.h"
#include "tpl/mainTemplate.h"
#include "util/service.h"
#include "vfs/account.h"
#include "vfs/vfs.h"
#include "vfs/vfsStore.h"

namespace {
struct Tservices
{
    Tservices() : treeStore(*tree) { installTemplateScriptRunner(); }
    Towned<Taccounts> accounts;
    Towned<Tvfs> tree;
    Towned<Ttemplates> templates;
    Towned<TvfsStore> treeStore;
};
} // namespace

ZOF_TEST_SERVICES(Tservices);
