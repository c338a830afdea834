#pragma once
// What the dynamic DNS updater sends and what it makes of the answer. Pure
// functions, kept apart from the updater so they can be checked alone.
#include <QString>

struct TddnsOutcome
{
    QString result;        // "successful", "no reply", "error: ...", ...
    bool needsUser = false; // the service refuses until the operator acts
};

// The service's answer read: a reply over 30 characters is only counted;
// otherwise its first word (lower case) decides, the known refusal codes
// needing the operator.
TddnsOutcome interpretDdnsReply(const QString &reply);

// The update URL with every "%ip%" (any letter case) replaced by `address`.
QString ddnsRequestUrl(const QString &url, const QString &address);

// A URL fit for the log: the "user:password@" part and the value of a
// "password=" query parameter removed.
QString urlWithoutCredentials(const QString &url);
