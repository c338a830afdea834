#include "config/notify.h"

#include "util/prompt.h"

void notifyOperator(const QString &message)
{
    prompt().message(message, PK_INFO);
}

bool askOperator(const QString &question, bool safeAnswer)
{
    return prompt().question(question, PB_YES | PB_NO, safeAnswer ? PB_YES : PB_NO) == PB_YES;
}
