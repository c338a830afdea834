#include "util/presetPrompt.h"

void TpresetPrompt::message(const QString &text, TpromptKind)
{
    messages_ << text;
}

TpromptButton TpresetPrompt::question(const QString &, TpromptButtons buttons, TpromptButton safeDefault)
{
    return buttons.testFlag(answer_) ? answer_ : safeDefault;
}
