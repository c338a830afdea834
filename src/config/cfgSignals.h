#pragma once
// What the configuration announces to the rest of the program.
#include <QObject>

class TcfgSignals : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    // After every setCfg: whatever copies options into its own settings
    // refreshes them.
    void applied();
};
