#pragma once
// A prompt for tests: answers come from a queue (the safe answer when it
// runs dry) and everything asked or shown is recorded in order.

#include "util/prompt.h"

#include <QList>
#include <QStringList>

class ScriptedPrompt : public Tprompt {
public:
    QList<TpromptButton> answers;
    std::optional<Tcredentials> credentials;
    QStringList asked; // "?text" for questions, "!text" for messages, "credentials"

    void message(const QString &text, TpromptKind) override { asked << u'!' + text; }
    TpromptButton question(const QString &text, TpromptButtons buttons, TpromptButton safeDefault) override
    {
        asked << u'?' + text;
        const TpromptButton a = answers.isEmpty() ? safeDefault : answers.takeFirst();
        return buttons.testFlag(a) ? a : safeDefault;
    }
    std::optional<Tcredentials> askCredentials(const Tcredentials &initial) override
    {
        asked << QStringLiteral("credentials");
        lastInitial = initial;
        return credentials;
    }
    Tcredentials lastInitial;
};
