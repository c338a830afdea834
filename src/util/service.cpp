#include "util/service.h"

#include <QtGlobal>

#include <cxxabi.h>
#include <cstdlib>

void serviceMissing(const char *typeName)
{
    int status = 0;
    char *readable = abi::__cxa_demangle(typeName, nullptr, nullptr, &status);
    qFatal("%s used while the program does not have it (before its creation or after its end)",
           status == 0 && readable ? readable : typeName);
}
