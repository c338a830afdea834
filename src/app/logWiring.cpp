#include "app/logWiring.h"

#include "config/options.h"
#include "log/logSettings.h"

void optionsToLog()
{
    const Toptions &o = opts();
    TlogSettings s;
    s.toScreen = o.logToScreen;
    s.fileName = o.logFileName;
    s.apacheFormat = o.logApacheFormat;
    s.fileTabbed = o.logFileTabbed;
    s.date = o.logDate;
    s.time = o.logTime;
    s.isoDate = o.useIsoDateFormat;
    s.maxLines = o.logMaxLines;
    setLogSettings(s);
}
