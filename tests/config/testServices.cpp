#include "testServices.h"

#include "config/config.h"
#include "config/options.h"
#include "util/service.h"
#include "vfs/account.h"
#include "vfs/vfs.h"

namespace {
struct Tservices
{
    Tservices() : config(*options, *accounts) { config->feedsTree = true; }
    Towned<Toptions> options;
    Towned<Taccounts> accounts;
    Towned<Tvfs> tree;
    Towned<Tconfig> config;
};
} // namespace

ZOF_TEST_SERVICES(Tservices);
