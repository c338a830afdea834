#include "testServices.h"

#include "config/options.h"
#include "log/logModel.h"
#include "util/service.h"

namespace {
struct Tservices
{
    Towned<Toptions> options;
    Towned<TlogModel> log;
};
} // namespace

ZOF_TEST_SERVICES(Tservices);
