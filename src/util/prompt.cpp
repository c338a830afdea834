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

namespace {

const char *buttonName(TpromptButton b)
{
    switch (b) {
    case PB_OK: return "OK";
    case PB_CANCEL: return "Cancel";
    case PB_YES: return "Yes";
    case PB_NO: return "No";
    case PB_ABORT: return "Abort";
    case PB_RETRY: return "Retry";
    case PB_IGNORE: return "Ignore";
    case PB_NONE: break;
    }
    return "none";
}

void logQuestion(const QString &text, const QString &answer)
{
    QString oneLine = text;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    std::fprintf(stderr, "zof question: %s -> %s (no operator: safe answer taken)\n",
                 oneLine.toLocal8Bit().constData(), answer.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

std::optional<QString> Tprompt::askText(const QString &, const QString &, const QString &, bool)
{
    return std::nullopt;
}

int Tprompt::choose(const QString &, const QStringList &, const QStringList &, int safeDefault)
{
    return safeDefault;
}

std::optional<Tprompt::Tcredentials> Tprompt::askCredentials(const Tcredentials &)
{
    return std::nullopt;
}

TpromptButton TheadlessPrompt::question(const QString &text, TpromptButtons buttons, TpromptButton safeDefault)
{
    // Nobody can answer: the caller's safe answer is taken at once.
    Q_UNUSED(buttons);
    logQuestion(text, QString::fromLatin1(buttonName(safeDefault)));
    return safeDefault;
}

std::optional<QString> TheadlessPrompt::askText(const QString &text, const QString &, const QString &, bool)
{
    logQuestion(text, QStringLiteral("Cancel"));
    return std::nullopt;
}

int TheadlessPrompt::choose(const QString &title, const QStringList &, const QStringList &buttons, int safeDefault)
{
    logQuestion(title, buttons.value(safeDefault, QStringLiteral("none")));
    return safeDefault;
}

std::optional<Tprompt::Tcredentials> TheadlessPrompt::askCredentials(const Tcredentials &)
{
    logQuestion(QStringLiteral("User and password"), QStringLiteral("Cancel"));
    return std::nullopt;
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
