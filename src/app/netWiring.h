#pragma once
// The program's outgoing HTTP client put to use: the http:// and https://
// locations of "load" and "filesize", the external address search (at
// start-up with find-external-on-startup, for "get|external address", and
// every 10 minutes while a dynamic DNS updater is set) and the dynamic DNS
// updater (every second, laterSteps.h).
#include <QString>

class ThttpClient;

// Makes `client` the program's client; null takes it away again (before it
// is destroyed).
void installWebClient(ThttpClient *client);

// The start-up search: a found address becomes the URL address; a failure
// is shown in the status bar.
void searchExternalAddressOnStartup();

// Makes `address` the URL address (option `ip`); empty means the external
// address when known, else the preferred own address.
void setUrlAddress(const QString &address);
