#pragma once
// A prompt whose answers the caller fixed in advance, for code that acts on
// the operator's behalf without one (scripts): nothing is shown, questions
// take the preset button and messages are kept for the caller to read.

#include "util/prompt.h"

class TpresetPrompt : public Tprompt
{
public:
    // `answer` is taken when offered; otherwise the question's safe default.
    explicit TpresetPrompt(TpromptButton answer = PB_NO) : answer_(answer) {}

    void message(const QString &text, TpromptKind kind = PK_INFO) override;
    TpromptButton question(const QString &text, TpromptButtons buttons, TpromptButton safeDefault) override;

    const QStringList &messages() const { return messages_; }

private:
    TpromptButton answer_;
    QStringList messages_;
};
