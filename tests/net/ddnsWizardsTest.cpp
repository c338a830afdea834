#include "net/ddnsWizards.h"

#include "config/options.h"
#include "ddnsTestPrompt.h"
#include "net/ddnsUpdater.h"
#include "net/externalAddress.h"
#include "qtPrinters.h"

#include <gtest/gtest.h>

namespace {

class DdnsWizard : public ::testing::Test
{
protected:
    void SetUp() override
    {
        opts() = Toptions();
        knownExternalAddress() = QStringLiteral("203.0.113.7");
        hostsBefore = ddnsServiceHosts();
    }
    void TearDown() override
    {
        ddnsServiceHosts() = hostsBefore;
        knownExternalAddress().clear();
    }
    void answer(std::initializer_list<const char *> typed)
    {
        for (const char *t : typed)
            prompt.answers.push(t ? std::optional<QString>(QString::fromUtf8(t)) : std::nullopt);
    }
    bool run(TddnsService service)
    {
        return runDdnsWizard(service, prompt, updater, [this](const QString &host) { urlAddresses << host; });
    }

    TddnsServiceHosts hostsBefore;
    TddnsTestPrompt prompt;
    TddnsUpdater updater;
    QStringList urlAddresses;
};

} // namespace

TEST_F(DdnsWizard, UpdateHostUrlWithHostAskedAgainUntilFull)
{
    ddnsServiceHosts().noIpUpdateHost = QStringLiteral("update.noip.test");
    answer({" me ", " pw ", "myhost", "http://myhost.example.org "});
    updater.enabled = false;
    ASSERT_TRUE(run(DS_NOIP));
    EXPECT_EQ(opts().dynamicDnsUpdater, QStringLiteral("http://me:pw@update.noip.test/nic/update?hostname=myhost.example.org"));
    EXPECT_EQ(prompt.messages, QStringList{QStringLiteral("Please, enter it in the FULL form, with dots")});
    EXPECT_EQ(prompt.asked, (QStringList{QStringLiteral("Enter user|Enter user"), QStringLiteral("Enter password|Enter password"),
                                         QStringLiteral("Enter host|Enter domain (full form!)"),
                                         QStringLiteral("Enter host|Enter domain (full form!)")}));
    EXPECT_EQ(opts().customIp, QStringList{QStringLiteral("myhost.example.org")});
    EXPECT_EQ(urlAddresses, QStringList{QStringLiteral("myhost.example.org")});
    EXPECT_EQ(opts().dynamicDnsUser, QStringLiteral("me"));
    EXPECT_EQ(opts().dynamicDnsHost, QStringLiteral("myhost.example.org"));
    // The updater starts over: the next second searches and sends.
    EXPECT_TRUE(updater.enabled);
    EXPECT_TRUE(knownExternalAddress().isEmpty());
}

TEST_F(DdnsWizard, SecondServiceAddsItsParametersAndKeepsCustomList)
{
    opts().customIp = QStringList{QStringLiteral("a.example"), QStringLiteral("h.example.net")};
    answer({"u", "p", "h.example.net"});
    ASSERT_TRUE(run(DS_DYNDNS));
    EXPECT_EQ(opts().dynamicDnsUpdater,
              QStringLiteral("http://u:p@members.dyndns.org/nic/update?hostname=h.example.net"
                             "&myip=%ip%&wildcard=NOCHG&backmx=NOCHG&mx=NOCHG&system=dyndns"));
    EXPECT_EQ(opts().customIp, (QStringList{QStringLiteral("a.example"), QStringLiteral("h.example.net")}));
}

TEST_F(DdnsWizard, QueryFormHasNoHostQuestion)
{
    ddnsServiceHosts().cjbHost = QStringLiteral("dyn.cjb.test");
    ddnsServiceHosts().cjbDomain = QStringLiteral("cjb.test");
    answer({"me", "pw"});
    ASSERT_TRUE(run(DS_CJB));
    EXPECT_EQ(opts().dynamicDnsUpdater, QStringLiteral("http://dyn.cjb.test/cgi-bin/dynip.cgi?username=me&password=pw&ip=%ip%"));
    EXPECT_EQ(prompt.asked.size(), 2);
    EXPECT_EQ(urlAddresses, QStringList{QStringLiteral("me.cjb.test")});
    EXPECT_EQ(opts().customIp, QStringList{QStringLiteral("me.cjb.test")});
}

TEST_F(DdnsWizard, EmptyOrCancelledAnswerChangesNothing)
{
    const struct
    {
        TddnsService service;
        std::initializer_list<const char *> typed;
    } cases[] = {
        {DS_NOIP, {"   "}},                 // empty user
        {DS_NOIP, {nullptr}},               // cancelled user
        {DS_DYNDNS, {"u", ""}},             // empty password
        {DS_CJB, {"u", nullptr}},           // cancelled password
        {DS_NOIP, {"u", "p", "nodots", nullptr}}, // host cancelled after the retry
    };
    for (const auto &c : cases) {
        prompt = TddnsTestPrompt();
        answer(c.typed);
        EXPECT_FALSE(run(c.service));
        EXPECT_TRUE(opts().dynamicDnsUpdater.isEmpty());
        EXPECT_TRUE(opts().customIp.isEmpty());
        EXPECT_TRUE(urlAddresses.isEmpty());
        EXPECT_EQ(knownExternalAddress(), QStringLiteral("203.0.113.7"));
    }
}
