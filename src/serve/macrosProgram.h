#pragma once

// What the program macros need of the desktop, and the pieces of them that
// other code reuses. Without a desktop (headless, or before the window
// installs one) the desktop macros do nothing and yield the empty text.

#include "util/prompt.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class ThttpConn;
class TmacroRegistry;

enum TdialogIcon { DI_NONE, DI_ERROR, DI_QUESTION, DI_WARNING, DI_INFORMATION };

// A message box as "dialog" asks for it.
struct TdialogRequest
{
    QString message;
    QString caption;
    TpromptButtons buttons = PB_OK;
    TdialogIcon icon = DI_INFORMATION;
};

enum TnotifyIcon { NI_NONE, NI_INFO, NI_WARNING, NI_ERROR };

class TmacroDesktop
{
public:
    virtual ~TmacroDesktop() = default;
    // Restores the main window, shows the box modally (letting the event
    // loop run) and returns the button pressed; PB_NONE when closed.
    virtual TpromptButton dialog(const TdialogRequest &r) = 0;
    virtual void notify(const QString &message, const QString &title, TnotifyIcon icon, int timeoutSeconds) = 0;
    // Starts a named system sound unless one is playing; returns at once.
    virtual void play(const QString &soundName) = 0;
    virtual QString clipboardText() = 0;
    virtual void setClipboardText(const QString &text) = 0;
    virtual void focusMainWindow() = 0;
};

// The desktop in use, null when headless.
TmacroDesktop *macroDesktop();
// Installs `d` (null: headless); returns the previous one.
std::unique_ptr<TmacroDesktop> setMacroDesktop(std::unique_ptr<TmacroDesktop> d);

// The box "dialog" shows for its type words ("yesnocancel question"...);
// `askedButtons` tells whether a button word was given.
TdialogRequest dialogRequestFor(const QString &typeWords, bool *askedButtons = nullptr);

// The colour of "add to log" as 0xRRGGBB: three or six hexadecimal digits
// (with or without "#"), a colour name (with or without "cl"), or a decimal
// number in the blue-green-red order of stored scripts. None for the
// log's normal colour.
std::optional<quint32> logColorFromText(const QString &text);

// Where "add to log" writes; by default add2log.
using TmacroLogWriter = std::function<void(const QString &text, ThttpConn *conn, std::optional<quint32> rgb)>;
void setMacroLogWriter(TmacroLogWriter writer);

// ---- exec ----

// Splits a command text into program and argument text at the first space
// outside double quotes; an unquoted text with an extension whose part
// before that space has none is all program (a path with spaces).
// The program is dequoted and written with "/".
void splitCommandText(const QString &command, QString &program, QString &arguments);
// The argument vector of an argument text: words split at spaces outside
// double quotes, quotes removed; a word that begins with "\" is a disk
// path in template form and gets "/" delimiters.
QStringList commandArguments(const QString &arguments);
// "%1"…"%9" in `arguments` replaced by the words of `parameters`; the
// words not used are appended after a space.
QString fillPlaceholders(const QString &arguments, const QString &parameters);

struct TexecResult
{
    bool started = false;
    int exitCode = -1; // the program's code; 259 when it was stopped at the timeout
    QByteArray output; // standard output, at most maxExecOutput bytes
};
inline constexpr qint64 maxExecOutput = 1048576;
// Runs the program with standard output captured, keeping the event loop
// running while it waits. `timeoutSeconds` 0: no limit.
TexecResult runCaptured(const QString &program, const QStringList &args, double timeoutSeconds);

// "exec" (registered by registerProgramMacros).
void registerExecMacro(TmacroRegistry &r);
