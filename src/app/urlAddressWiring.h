#pragma once
// The address that URLs carry (a link's "%ip%", the full URLs of a page asked
// for without a Host header): chosen from the options and the machine's own
// addresses, and handed to the tree. Tapplication connects these to the
// program's steps.
#include <QStringList>

// The machine's addresses that a visitor may reach it by: IPv4 first, then
// IPv6; loopback and IPv6 link-local addresses (they need a zone) left out.
QStringList ownAddresses();
// What the URL address may be now: the URL address, the dynamic DNS host,
// the custom addresses, the external address and the own addresses.
QStringList currentUrlAddressCandidates();
// The first own address that is not a local one, else the last one.
QString preferredOwnAddress();
// After options were applied: the address chosen again.
void optionsToUrlAddress();
// Every 10 seconds: chosen again (the machine's addresses come and go);
// with search-better-ip, a local address replaced by a better one.
void reexamineUrlAddress();
