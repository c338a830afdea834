#include "macros/webLocations.h"

#include "util/asciiCase.h"

TwebLocations &webLocations()
{
    static TwebLocations w;
    return w;
}

bool isWebAddress(const QString &location)
{
    return startsWithText(location, u"http://") || startsWithText(location, u"https://");
}
