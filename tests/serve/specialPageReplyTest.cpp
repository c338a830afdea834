// A special page answers with the mode its name gives, unless
// "special:begin" or a macro of the page set another.
#include "macrosRequestTestTools.h"

#include "serve/pageAdapter.h"
#include "serve/pageReply.h"
#include "serve/serve.h"
#include "tpl/mainTemplate.h"

namespace {

struct TspecialPageReply : ::testing::Test
{
    void SetUp() override { serve().setPageHooks(std::make_unique<TtplPageHooks>()); }
    void TearDown() override
    {
        serve().setPageHooks(nullptr);
        setDefaultTemplateText(QString());
    }
    // The reply to the page `name` under a template of `text`.
    const ThttpReply &replyTo(const QString &text, const QString &name)
    {
        setDefaultTemplateText(text);
        record = std::make_unique<TtestRecord>(srv);
        replySpecialPage(*record->cd, name);
        return record->conn->reply();
    }

    ThttpSrv srv;
    std::unique_ptr<TtestRecord> record;
};

TEST_F(TspecialPageReply, RedirectionSetByThePageIsKept)
{
    const QString frame = QStringLiteral("[error-page]\n<%content%>\n");
    // Set before the page text: the text is wrapped as for any error mode.
    const ThttpReply &begin = replyTo(
        frame + QStringLiteral("[special:begin]\n{.add header|Location: /there/.}\n[upload]\nform\n"),
        QStringLiteral("upload"));
    EXPECT_EQ(begin.mode, HRM_REDIRECT);
    EXPECT_EQ(begin.url, QStringLiteral("/there/"));
    EXPECT_EQ(begin.body, QByteArray("<form>"));

    const ThttpReply &inPage =
        replyTo(frame + QStringLiteral("[not found]\n{.redirect|/else/.}gone\n"), QStringLiteral("not found"));
    EXPECT_EQ(inPage.mode, HRM_REDIRECT);
    EXPECT_EQ(inPage.url, QStringLiteral("/else/"));

    // Untouched pages keep the mode of their name.
    EXPECT_EQ(replyTo(frame + QStringLiteral("[not found]\ngone\n"), QStringLiteral("not found")).mode,
              HRM_NOT_FOUND);
    EXPECT_EQ(replyTo(frame + QStringLiteral("[login]\nwho?\n"), QStringLiteral("login")).mode, HRM_DENY);
    EXPECT_EQ(replyTo(QString(), QStringLiteral("login")).mode, HRM_DENY);
}

} // namespace
