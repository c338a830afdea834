#pragma once
// Operator messages and yes/no questions of the configuration and start-up.
#include <QString>

void notifyOperator(const QString &message);
// Headless, the question is printed and `safeAnswer` taken.
bool askOperator(const QString &question, bool safeAnswer);
