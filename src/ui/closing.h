#pragma once
// How the window closes the program: the "Quit?" question, leaving the
// current tree, and the close put off while a heartbeat tick runs or
// start-up has not finished.

class Tprogram;

enum TcloseOutcome {
    CO_STAY,     // the operator kept the program running
    CO_DEFERRED, // a quit is requested; the heartbeat closes at its next tick
    CO_CLOSED,   // the shutdown sequence ran
};

// A close request from the window ("Exit", the close button) or from the
// desktop session ending (no question then; a changed tree is kept in the
// emergency copy).
TcloseOutcome requestClose(Tprogram &program, bool sessionEnding = false);
