#pragma once
// The event scripts as the program runs them: the events file of the
// configuration folder read before the stored options, read again when it
// changes, emptied and brought back with a temporary reset of the options,
// the program's own events ("start", "quit") and the timed sections.
#include <QString>

class TeventScripts;

// Reads the events file (start-up, before the stored options).
void loadEventScripts();
// The loaded scripts; null before loadEventScripts.
TeventScripts *eventScripts();
// Every second: the file read again when it changed.
void reloadEventsFileWhenChanged();
// Every second: the timed sections due.
void runTimedEvents();
// A program event ("start", "quit"): its section runs without a connection.
void runProgramEvent(const QString &name);
