#include "testServices.h"

#include "config/options.h"
#include "util/service.h"

namespace {
// The updater reads the options.
struct Tservices
{
    Towned<Toptions> options;
};
} // namespace

ZOF_TEST_SERVICES(Tservices);
