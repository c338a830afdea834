#pragma once
// A prompt that answers from a script: typed texts and buttons are taken in
// order, and every box and message shown is recorded. Installed for the
// lifetime of the object.
#include "util/prompt.h"

#include <QStringList>

#include <deque>
#include <memory>
#include <optional>

class TscriptedPrompt : public Tprompt
{
public:
    struct Tshown
    {
        QString title, text, initial;
    };

    std::deque<std::optional<QString>> texts;  // nothing = Cancel
    std::deque<TpromptButton> buttons;
    QStringList messages;
    QStringList questions;
    QList<Tshown> boxes;

    void message(const QString &text, TpromptKind) override { messages += text; }
    TpromptButton question(const QString &text, TpromptButtons, TpromptButton safeDefault) override
    {
        questions += text;
        if (buttons.empty())
            return safeDefault;
        const TpromptButton b = buttons.front();
        buttons.pop_front();
        return b;
    }
    std::optional<QString> askText(const QString &text, const QString &title, const QString &initial,
                                   bool) override
    {
        boxes += Tshown{title, text, initial};
        if (texts.empty())
            return std::nullopt;
        std::optional<QString> t = texts.front();
        texts.pop_front();
        return t;
    }
};

// Installs a TscriptedPrompt and puts the previous prompt back at the end.
class TscriptedPromptScope
{
public:
    TscriptedPromptScope()
    {
        auto p = std::make_unique<TscriptedPrompt>();
        script = p.get();
        previous = setPrompt(std::move(p));
    }
    ~TscriptedPromptScope() { setPrompt(std::move(previous)); }
    TscriptedPrompt &operator*() { return *script; }
    TscriptedPrompt *operator->() { return script; }

private:
    TscriptedPrompt *script = nullptr;
    std::unique_ptr<Tprompt> previous;
};
