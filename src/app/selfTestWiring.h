#pragma once
// The self test put to use: the server, the options and the addresses of
// the running program handed to TselfTest.
class ThttpClient;

// Makes the self test use `client`; null takes it away (before it goes).
void installSelfTest(ThttpClient *client);

// The operator's "self test" (also the --self-test switch). `confirmed`:
// the operator asked for it explicitly, the explanation is only shown.
void runSelfTest(bool confirmed);
