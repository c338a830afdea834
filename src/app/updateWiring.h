#pragma once
// The update check put to use: the daily check and the delayed update in the
// heartbeat (laterSteps.h declares those steps), the operator's check, and
// the restart that follows an installed update: the program closes in order
// (options saved, listening socket closed) and main() then replaces the
// process with the program file, given the same arguments.
class ThttpClient;

// Makes the updater use `client`; null takes it away (before it goes).
void installUpdater(ThttpClient *client);

// The operator's "check for updates" (also the --check-update switch).
void checkForUpdatesNow();
// The operator's "revert to previous version".
void revertToPreviousVersion();

// An installed update asked for a restart; main() carries it out once the
// program has closed. restartProgram() returns only when the exec failed.
bool restartWanted();
void restartProgram();
