#pragma once
// The request dispatcher: runs once per request inside SE_REQUEST and
// decides the whole reply. Its order of steps is the program's access policy.

#include "util/nameValueList.h"

#include <QByteArray>
#include <QString>

class TconnData;

void dispatchRequest(TconnData &cd);

// The query of a URL into name=value entries: '+' read as a space, names
// and values percent-decoded as UTF-8 and cut to 1000 characters. An entry
// without '=' is kept as a bare item.
void parseQuery(QByteArrayView query, TnameValueList &out);

// Whether a Basic user name is acceptable (at most 100 characters, none of
// / \ : ? * < > |).
bool acceptableUserName(const QString &user);
