#pragma once
// The running program as one object: it owns the program's life (Tprogram)
// and connects every module to its steps, in one place and in order.
#include "app/program.h"

#include <QObject>
#include <QStringList>

#include <memory>

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

    std::unique_ptr<Tprogram> life;
};
