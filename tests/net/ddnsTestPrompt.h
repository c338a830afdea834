#pragma once
// A prompt for the updater's tests: typed answers taken from a queue (an
// empty queue cancels), questions answered as told, everything recorded.
#include "util/prompt.h"

#include <QStringList>

#include <optional>
#include <queue>

class TddnsTestPrompt : public Tprompt
{
public:
    std::queue<std::optional<QString>> answers;
    TpromptButton questionAnswer = PB_NO;
    QStringList messages, questions, asked; // asked: "title|text" of typed answers

    void message(const QString &text, TpromptKind) override { messages << text; }
    TpromptButton question(const QString &text, TpromptButtons, TpromptButton) override
    {
        questions << text;
        return questionAnswer;
    }
    std::optional<QString> askText(const QString &text, const QString &title, const QString &, bool) override
    {
        asked << title + u'|' + text;
        if (answers.empty())
            return std::nullopt;
        std::optional<QString> a = answers.front();
        answers.pop();
        return a;
    }
};
