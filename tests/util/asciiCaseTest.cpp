#include "util/asciiCase.h"
#include "util/prompt.h"

#include <QStringList>
#include <gtest/gtest.h>

TEST(AsciiCase, FoldsOnlyAsciiLetters)
{
    EXPECT_EQ(asciiLower(QStringLiteral("AbC-\u00c9\u0130")), QStringLiteral("abc-\u00c9\u0130"));
    EXPECT_EQ(asciiUpper(QByteArray("aBc\xE9")), QByteArray("ABC\xE9"));
    EXPECT_TRUE(sameText(QStringLiteral("Content-Type"), QStringLiteral("content-type")));
    EXPECT_FALSE(sameText(QStringLiteral("\u00e9"), QStringLiteral("\u00c9")));
    EXPECT_FALSE(sameText(QStringLiteral("i"), QStringLiteral("\u0130")));
    EXPECT_FALSE(sameText(QStringLiteral("ab"), QStringLiteral("abc")));
    EXPECT_TRUE(sameText(QByteArray("GZIP"), "gzip"));
    EXPECT_TRUE(sameText(QStringLiteral("LAN"), "lan"));
    EXPECT_FALSE(sameText(QStringLiteral("\u00c9"), "\xe9"));
    EXPECT_TRUE(sameText(QStringLiteral("\u00e9"), "\xe9"));
    EXPECT_FALSE(sameText(QStringView(u"lan"), "lans"));
    EXPECT_FALSE(sameText(QByteArray("@"), "`")); // not letters: no folding
    EXPECT_LT(compareText(QStringView(u"apple"), QStringView(u"Banana")), 0);
    EXPECT_EQ(compareText(QByteArrayView("ABC"), QByteArrayView("abc")), 0);
    EXPECT_LT(compareText(QByteArrayView("z"), QByteArrayView("\xE9")), 0);
    EXPECT_GT(compareText(QStringView(u"abc"), QStringView(u"AB")), 0);
    EXPECT_TRUE(startsWithText(QByteArrayView("Basic dXNl"), QByteArrayView("basic ")));
    EXPECT_FALSE(startsWithText(QStringView(u"Ba"), QStringView(u"basic")));
    EXPECT_TRUE(endsWithText(QStringView(u"photo.JPG"), QStringView(u".jpg")));
    EXPECT_EQ(indexOfText(QStringView(u"multipart/form-data; BOUNDARY=x"), QStringView(u"boundary=")), 21);
    EXPECT_EQ(indexOfText(QByteArrayView("aAaA"), QByteArrayView("aa"), 1), 1);
    EXPECT_EQ(indexOfText(QByteArrayView("abc"), QByteArrayView("x")), -1);
}

namespace {
class TrecordingPrompt : public Tprompt
{
public:
    QStringList *seen;
    explicit TrecordingPrompt(QStringList *s) : seen(s) {}
    void message(const QString &text, TpromptKind) override { seen->append(text); }
    TpromptButton question(const QString &text, TpromptButtons, TpromptButton) override
    {
        seen->append(text);
        return PB_YES;
    }
};
} // namespace

TEST(Prompt, HeadlessTakesSafeDefaultAndOthersCanBeInstalled)
{
    EXPECT_EQ(prompt().question(QStringLiteral("Overwrite?"), PB_YES | PB_NO, PB_NO), PB_NO);
    QStringList seen;
    auto previous = setPrompt(std::make_unique<TrecordingPrompt>(&seen));
    ASSERT_TRUE(previous);
    prompt().message(QStringLiteral("hello"), PK_WARNING);
    EXPECT_EQ(prompt().question(QStringLiteral("sure?"), PB_YES | PB_NO, PB_NO), PB_YES);
    EXPECT_EQ(seen, (QStringList{QStringLiteral("hello"), QStringLiteral("sure?")}));
    setPrompt(std::move(previous));
    EXPECT_EQ(prompt().question(QStringLiteral("again?"), PB_OK | PB_CANCEL, PB_CANCEL), PB_CANCEL);
}

TEST(Prompt, HeadlessLogsEveryQuestionWithTheAnswerTaken)
{
    TheadlessPrompt p;
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.question(QStringLiteral("Delete?\rReally"), PB_YES | PB_NO, PB_NO), PB_NO);
    EXPECT_EQ(p.askText(QStringLiteral("Comment"), QStringLiteral("t"), QStringLiteral("old")), std::nullopt);
    EXPECT_EQ(p.choose(QStringLiteral("What kind of folder do you want?"), {},
                       {QStringLiteral("Real folder"), QStringLiteral("Virtual folder")}, 0),
              0);
    EXPECT_FALSE(p.askCredentials({QStringLiteral("u"), QStringLiteral("p")}));
    const QString log = QString::fromStdString(testing::internal::GetCapturedStderr());
    EXPECT_TRUE(log.contains(u"zof question: Delete? Really -> No")) << qPrintable(log);
    EXPECT_TRUE(log.contains(u"zof question: Comment -> Cancel")) << qPrintable(log);
    EXPECT_TRUE(log.contains(u"zof question: What kind of folder do you want? -> Real folder")) << qPrintable(log);
    EXPECT_TRUE(log.contains(u"zof question: User and password -> Cancel")) << qPrintable(log);
    // A prompt that overrides only the yes/no questions cancels the others.
    QStringList seen;
    TrecordingPrompt recording(&seen);
    EXPECT_EQ(recording.askText(QStringLiteral("x"), {}, {}), std::nullopt);
    EXPECT_EQ(recording.choose(QStringLiteral("x"), {}, {QStringLiteral("a"), QStringLiteral("b")}, 1), 1);
}
