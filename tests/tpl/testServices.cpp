#include "testServices.h"

#include "tpl/mainTemplate.h"
#include "util/service.h"

namespace {
struct Tservices
{
    Towned<Ttemplates> templates;
};
} // namespace

ZOF_TEST_SERVICES(Tservices);
