#pragma once
// The small windows: user and password, the folder kind question, a
// multi-line input, the purge choices, the addresses ever connected and the
// "Run script" window. Messages go through the prompt given (the program's
// one by default), so their texts can be checked.
#include "util/prompt.h"
#include "vfs/treeEdit.h"

#include <QDateTime>
#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class Tfile;

// "Insert the requested user/pass".
class TuserPassDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TuserPassDialog(QWidget *parent = nullptr, Tprompt *ask = nullptr);
    // Starts from the current pair (the password in both password boxes).
    void setPair(const Tprompt::Tcredentials &pair);
    Tprompt::Tcredentials pair() const;
    // "&Ok": trims, checks (the first failure is shown and the window stays).
    void tryAccept();

    QLineEdit *userBox, *passBox, *pass2Box;
    QPushButton *okButton, *resetButton;

private:
    Tprompt *ask;
};
std::optional<Tprompt::Tcredentials> askUserPass(QWidget *parent, const Tprompt::Tcredentials &initial);

// "What kind of folder do you want?": 0 real, 1 virtual, -1 closed otherwise.
class TfolderKindDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TfolderKindDialog(QWidget *parent = nullptr);
    int choice = -1;
    QPushButton *realButton, *virtualButton;
};
int askFolderKind(QWidget *parent);

// A message above a multi-line box, "&OK" and "&Cancel".
class TmultiLineDialog : public QDialog
{
    Q_OBJECT
public:
    TmultiLineDialog(QWidget *parent, const QString &title, const QString &message, const QString &initial);
    QPlainTextEdit *textBox;
};
std::optional<QString> askMultiLine(QWidget *parent, const QString &title, const QString &message,
                                    const QString &initial);

// "Purge options".
class TpurgeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TpurgeDialog(QWidget *parent = nullptr);
    TpurgeChoices choices() const;
    QCheckBox *filesBox, *realFoldersBox, *emptyFoldersBox;
};
// Asks, then purges below `from` (the root when null). -1 when cancelled,
// else how many nodes went.
int purgeWithDialog(QWidget *parent, Tfile *from);

// "Addresses ever connected": the list, "Total: %d", "&Reset", "&Open in editor".
class TaddressesWindow : public QDialog
{
    Q_OBJECT
public:
    explicit TaddressesWindow(QWidget *parent = nullptr);
    // Shows the options' list again (called when a new address arrives).
    void refresh();
    QPlainTextEdit *listBox;
    QLabel *totalLabel;
    QPushButton *resetButton, *editorButton;
    // Where "&Open in editor" sends the text.
    std::function<void(const QString &)> openInEditor;

private:
    qsizetype shownCount = -1;
};
TaddressesWindow &addressesWindow();

// "Run script": the file "zof script.tmp" in the temporary folder, run as a
// template's default section; the result and "Size: %d".
class TrunScriptWindow : public QDialog
{
    Q_OBJECT
public:
    explicit TrunScriptWindow(QWidget *parent = nullptr);
    static QString scriptPath();
    // Creates the file when missing and remembers its time.
    void prepare();
    // Prepares, shows the window and opens the file in the editor.
    void start();
    void run();
    // With "&Auto run at every saving": runs when the file's time changed.
    void runWhenChanged();
    QPlainTextEdit *resultBox;
    QLabel *sizeLabel;
    QPushButton *runButton;
    QCheckBox *autoRunBox;

private:
    QDateTime seen;
};
// The window made at its first use (null before).
TrunScriptWindow *runScriptWindow(bool create = false);
