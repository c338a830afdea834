#include "testServices.h"

#include "config/config.h"
#include "config/options.h"
#include "script/macroEngine.h"
#include "serve/serve.h"
#include "serve/session.h"
#include "tpl/mainTemplate.h"
#include "util/service.h"
#include "vfs/account.h"
#include "vfs/vfs.h"
#include "vfs/vfsStore.h"

namespace {
struct Tservices
{
    Tservices() : config(*options, *accounts), treeStore(*tree)
    {
        config->feedsTree = true;
        installTemplateScriptRunner();
    }
    Towned<Toptions> options;
    Towned<Taccounts> accounts;
    Towned<Tvfs> tree;
    Towned<Tconfig> config;
    Towned<Ttemplates> templates;
    Towned<TsessionTable> sessions;
    Towned<TvfsStore> treeStore;
    Towned<Tserve> server;
};
} // namespace

ZOF_TEST_SERVICES(Tservices);
