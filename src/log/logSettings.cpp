#include "log/logSettings.h"

namespace {

TlogSettings &currentLogSettings()
{
    static TlogSettings settings;
    return settings;
}

} // namespace

void setLogSettings(const TlogSettings &settings)
{
    currentLogSettings() = settings;
}

const TlogSettings &logSettings()
{
    return currentLogSettings();
}
