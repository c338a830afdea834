#include "util/prompt.h"

#include <cstdio>

namespace {

std::unique_ptr<Tprompt> &current()
{
    static std::unique_ptr<Tprompt> p = std::make_unique<TheadlessPrompt>();
    return p;
}

const char *label(TpromptKind kind)
{
    switch (kind) {
    case PK_WARNING: return "warning";
    case PK_ERROR: return "error";
    case PK_INFO: break;
    }
    return "info";
}

} // namespace

void TheadlessPrompt::message(const QString &text, TpromptKind kind)
{
    std::fprintf(stderr, "zof %s: %s\n", label(kind), text.toLocal8Bit().constData());
    std::fflush(stderr);
}

TpromptButton TheadlessPrompt::question(const QString &text, TpromptButtons buttons, TpromptButton safeDefault)
{
    // Nobody can answer: the caller's safe answer is taken at once.
    Q_UNUSED(buttons);
    std::fprintf(stderr, "zof question: %s (no operator: safe answer taken)\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    return safeDefault;
}

Tprompt &prompt()
{
    return *current();
}

std::unique_ptr<Tprompt> setPrompt(std::unique_ptr<Tprompt> p)
{
    if (!p)
        p = std::make_unique<TheadlessPrompt>();
    current().swap(p);
    return p;
}
