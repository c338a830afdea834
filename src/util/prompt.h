#pragma once
// How code outside the window tells the operator something or asks a
// question. The window installs its own implementation; the built-in one is
// headless: messages go to standard error and questions take the safe
// default answer at once.

#include <QFlags>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

enum TpromptKind {
    PK_INFO,
    PK_WARNING,
    PK_ERROR,
};

enum TpromptButton {
    PB_NONE = 0,
    PB_OK = 0x1,
    PB_CANCEL = 0x2,
    PB_YES = 0x4,
    PB_NO = 0x8,
    PB_ABORT = 0x10,
    PB_RETRY = 0x20,
    PB_IGNORE = 0x40,
};
Q_DECLARE_FLAGS(TpromptButtons, TpromptButton)
Q_DECLARE_OPERATORS_FOR_FLAGS(TpromptButtons)

class Tprompt
{
public:
    virtual ~Tprompt() = default;
    virtual void message(const QString &text, TpromptKind kind = PK_INFO) = 0;
    // Returns one of `buttons`; `safeDefault` is the answer that loses no
    // data and trusts nothing new.
    virtual TpromptButton question(const QString &text, TpromptButtons buttons, TpromptButton safeDefault) = 0;
    // A text typed by the operator, starting from `initial`; nothing when
    // cancelled (which leaves things as they are).
    virtual std::optional<QString> askText(const QString &text, const QString &title, const QString &initial,
                                           bool multiLine = false);
    // One of `buttons` (its index) for a question explained by `lines`; -1
    // when the dialog was closed. `safeDefault` is the index taken when
    // nobody can answer.
    virtual int choose(const QString &title, const QStringList &lines, const QStringList &buttons,
                       int safeDefault);
    // A user name and a password, starting from the given ones; nothing
    // when cancelled.
    struct Tcredentials
    {
        QString user, password;
    };
    virtual std::optional<Tcredentials> askCredentials(const Tcredentials &initial);
    // (Unless overridden: cancelled, and the safe choice.)
};

// Without an operator: every message and question goes to standard error
// with the answer taken (the safe one; typed texts are cancelled).
class TheadlessPrompt : public Tprompt
{
public:
    void message(const QString &text, TpromptKind kind = PK_INFO) override;
    TpromptButton question(const QString &text, TpromptButtons buttons, TpromptButton safeDefault) override;
    std::optional<QString> askText(const QString &text, const QString &title, const QString &initial,
                                   bool multiLine = false) override;
    int choose(const QString &title, const QStringList &lines, const QStringList &buttons, int safeDefault) override;
    std::optional<Tcredentials> askCredentials(const Tcredentials &initial) override;
};

// The prompt in use (the headless one until another is installed).
Tprompt &prompt();
// Installs `p` (null reinstalls the headless one); returns the previous one.
std::unique_ptr<Tprompt> setPrompt(std::unique_ptr<Tprompt> p);
