// Answers fixed in advance: taken when the question offers them, the safe
// default otherwise; nothing else is asked or shown.

#include "qtPrinters.h"
#include "util/presetPrompt.h"

#include <gtest/gtest.h>

TEST(PresetPrompt, AnswersAndKeepsMessages)
{
    TpresetPrompt yes(PB_YES);
    EXPECT_EQ(yes.question("Continue?", PB_YES | PB_NO, PB_NO), PB_YES);
    EXPECT_EQ(yes.question("Retry?", PB_RETRY | PB_CANCEL, PB_CANCEL), PB_CANCEL); // not offered
    TpresetPrompt fallback;
    EXPECT_EQ(fallback.question("Delete?", PB_YES | PB_NO, PB_YES), PB_NO);
    EXPECT_FALSE(yes.askText("Name?", "t", "x").has_value());
    EXPECT_FALSE(yes.askCredentials({"u", "p"}).has_value());
    yes.message("one", PK_ERROR);
    yes.message("two");
    EXPECT_EQ(yes.messages(), QStringList({"one", "two"}));
}
