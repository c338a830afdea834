#pragma once
// What the log does with an entry. The application copies the log options
// here whenever options are applied; the log reads nothing else.

#include <QString>
#include <QtGlobal>

struct TlogSettings
{
    bool toScreen = true;  // the log view (and, headless, standard error)
    QString fileName;      // pattern of the log file's name; empty: no file
    QString apacheFormat;  // when set, the access-log line replaces the plain file
    bool fileTabbed = false; // continuation lines as extra fields of one file line
    bool date = false;
    bool time = true;
    bool isoDate = false;  // "yyyy-MM-dd" instead of the system's short date
    qint64 maxLines = 2000; // lines the view keeps; 0 keeps all
};

void setLogSettings(const TlogSettings &settings);
const TlogSettings &logSettings();
