#pragma once
// Switching the server on and off and changing its port, as the operator
// does it: the port rule, the restart on the same port, the port that is
// only tried while the server is off, and the questions and messages that
// go with them (through the program's prompt).
#include <QString>

// Starts listening with the port rule (the options' port alone, else the
// first of 80, 8080, 280, 10080 and 0 that opens). False when already
// listening or when no port opens.
bool startServer();
// Stops and starts again on the same port when listening; whether it listens.
bool restartServer();
// Stops listening (the connections stay).
void stopServer();
bool serverListening();
// The port in use, or the options' port while not listening.
QString currentPort();

// Makes `port` ("" = automatic) the options' port. A server that listened
// goes on listening on it; one that did not only tries it. On failure the
// previous port and listening state are back and the answer is false.
bool changePort(const QString &port);

// On when off, off when on; a failure to open the port is shown. Once off,
// offers to close the connections still open.
void toggleServer();

// The operator's port box: digits only (empty = automatic), asked again
// after a wrong answer or a port that cannot be opened.
void portPrompt();

// The error text for a port that cannot be opened, naming the program
// that holds it when one is found.
QString portFailureMessage(const QString &port);
// The file name of the program listening on TCP `port`, empty when none is
// found (read from /proc).
QString portHolder(const QString &port);

// Connections not yet disconnected.
int openConnectionCount();
// Disconnects every open connection with its own reason, else "kicked".
void kickAllConnections();
