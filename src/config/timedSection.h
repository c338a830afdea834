#pragma once
// What an event-script section's name says about when the clock runs it:
// "every 5 minutes", "every 1:30 m" (90 minutes), "every 10" (seconds) or
// "at 08:30". The pattern is looked for anywhere in the name, ignoring case.
#include <QString>

struct TtimedSection
{
    enum Tkind { NotTimed, Every, At };
    Tkind kind = NotTimed;
    qint64 periodSeconds = 0; // Every: rounded; below 1 never runs
    int hour = 0, minute = 0; // At
};

TtimedSection parseTimedSection(const QString &name);
