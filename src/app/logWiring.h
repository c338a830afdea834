#pragma once
// The log as the program uses it: the log options copied to the log's
// settings. Tapplication connects this to the options being applied.

// After options were applied: where entries go, their time stamp, the
// view's line limit.
void optionsToLog();
