#pragma once
// The password a URL carries for a given account name ("Copy URL with
// password"): the node that protects the item decides where it comes from.

#include <QString>

class Tfile;
class Taccounts;

// Walks from `f` up to the root; the first node with an access list or a
// user of its own decides. When none does, or its user is not `name`, the
// password is the account's (empty without such an account); otherwise it is
// that node's own password.
QString passwordForUrl(const Tfile &f, const QString &name, const Taccounts &accounts);

// The full URL of `f` carrying `name` and the password above.
QString fullUrlWithPassword(const Tfile &f, const QString &name, const Taccounts &accounts);
