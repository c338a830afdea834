#pragma once
// The wizards that build the dynamic DNS updater URL for three services
// from the operator's answers (user, password, and the host to keep
// current), asked through a prompt. Plain functions: a window calls them.
#include <QString>

#include <functional>

class Tprompt;
class TddnsUpdater;

// Where each service takes its updates. Defaults are the services' public
// hosts; the program may change them (a service moving, a test).
struct TddnsServiceHosts
{
    QString noIpUpdateHost = QStringLiteral("dynupdate.no-ip.com");
    QString dynDnsUpdateHost = QStringLiteral("members.dyndns.org");
    QString cjbHost = QStringLiteral("www.cjb.net");
    QString cjbDomain = QStringLiteral("cjb.net"); // the hosts it gives: user.cjb.net
};
TddnsServiceHosts &ddnsServiceHosts();

enum TddnsService {
    DS_NOIP,
    DS_DYNDNS,
    DS_CJB,
};

// Asks user and password (and, but for CJB, the host in full form, asked
// again while it has no "."), sets the updater URL, adds the host to
// custom-ip when missing and hands it to `setUrlAddress`. False when the
// operator cancelled or left an answer empty (nothing changed then).
bool runDdnsWizard(TddnsService service, Tprompt &prompt, TddnsUpdater &updater,
                   const std::function<void(const QString &host)> &setUrlAddress);
