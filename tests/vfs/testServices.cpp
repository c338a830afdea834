#include "testServices.h"

#include "util/service.h"
#include "vfs/account.h"
#include "vfs/vfs.h"

namespace {
struct Tservices
{
    Towned<Taccounts> accounts;
    Towned<Tvfs> tree;
};
} // namespace

ZOF_TEST_SERVICES(Tservices);
