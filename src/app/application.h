#pragma once
// The running program as one object: it owns the program's services and
// its life (Tprogram), creates them in the start-up order, destroys them in
// reverse, and connects every module to the program's steps, in one place
// and in order.
#include "app/program.h"
#include "app/services.h"

#include <QObject>
#include <QStringList>

#include <memory>

class ThttpClient;

class Tapplication : public QObject
{
    Q_OBJECT
public:
    // `args` is the process's argument list (program name first).
    explicit Tapplication(const QStringList &args, QObject *parent = nullptr);
    ~Tapplication() override;

    Tprogram &program() { return *life; }

    // Start-up, then the event loop until the program closes. The exit code.
    int run();

private:
    void assemble();
    void runOperatorSwitches();

    Tservices services;
    std::unique_ptr<Tprogram> life;
    std::unique_ptr<ThttpClient> web;
    // "--self-test" and "--check-update": the operator's commands, run once
    // start-up is over (the window offers them too), after the first daily
    // update check.
    bool selfTestWanted = false;
    bool updateCheckWanted = false;
};

// The arguments without the operator's command switches (which Tprogram's
// command line does not know).
QStringList withoutOperatorSwitches(const QStringList &args);
