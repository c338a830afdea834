#include "ui/smallDialogs.h"

#include "app/textEditor.h"
#include "config/options.h"
#include "config/optionsCopy.h"
#include "script/macroEngine.h"
#include "tpl/mainTemplate.h"
#include "tpl/tpl.h"
#include "ui/widgetPrompt.h"
#include "vfs/vfs.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QHBoxLayout *smallDialogButtons(std::initializer_list<QPushButton *> buttons)
{
    auto *row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton *b : buttons)
        row->addWidget(b);
    return row;
}

} // namespace

// ---- user and password ----

TuserPassDialog::TuserPassDialog(QWidget *parent, Tprompt *askIn) : QDialog(parent), ask(askIn)
{
    setWindowTitle(QStringLiteral("Insert the requested user/pass"));
    userBox = new QLineEdit;
    passBox = new QLineEdit;
    pass2Box = new QLineEdit;
    passBox->setEchoMode(QLineEdit::Password);
    pass2Box->setEchoMode(QLineEdit::Password);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Username"), userBox);
    form->addRow(QStringLiteral("Password"), passBox);
    form->addRow(QStringLiteral("Re-type password"), pass2Box);
    okButton = new QPushButton(QStringLiteral("&Ok"));
    okButton->setDefault(true);
    resetButton = new QPushButton(QStringLiteral("&Reset"));
    connect(okButton, &QPushButton::clicked, this, &TuserPassDialog::tryAccept);
    connect(resetButton, &QPushButton::clicked, this, [this] {
        userBox->clear();
        passBox->clear();
        pass2Box->clear();
    });
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(smallDialogButtons({okButton, resetButton}));
}

void TuserPassDialog::setPair(const Tprompt::Tcredentials &p)
{
    userBox->setText(p.user);
    passBox->setText(p.password);
    pass2Box->setText(p.password);
}

Tprompt::Tcredentials TuserPassDialog::pair() const
{
    return {userBox->text(), passBox->text()};
}

void TuserPassDialog::tryAccept()
{
    userBox->setText(userBox->text().trimmed());
    passBox->setText(passBox->text().trimmed());
    pass2Box->setText(pass2Box->text().trimmed());
    const QString why = checkCredentials(userBox->text(), passBox->text(), pass2Box->text());
    if (!why.isEmpty()) {
        (ask ? *ask : prompt()).message(why, PK_ERROR);
        return;
    }
    accept();
}

std::optional<Tprompt::Tcredentials> askUserPass(QWidget *parent, const Tprompt::Tcredentials &initial)
{
    TuserPassDialog d(parent);
    d.setPair(initial);
    if (d.exec() != QDialog::Accepted)
        return std::nullopt;
    return d.pair();
}

// ---- folder kind ----

TfolderKindDialog::TfolderKindDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("What kind of folder do you want?"));
    auto *layout = new QVBoxLayout(this);
    for (const char *line : {"A real folder is faster, good for big folders",
                             "A virtual folder is easier, good for small folders",
                             "Not sure? Hint: most time you need real folders!"})
        layout->addWidget(new QLabel(QLatin1String(line)));
    realButton = new QPushButton(QStringLiteral("&Real folder"));
    realButton->setDefault(true);
    virtualButton = new QPushButton(QStringLiteral("&Virtual folder"));
    connect(realButton, &QPushButton::clicked, this, [this] {
        choice = 0;
        accept();
    });
    connect(virtualButton, &QPushButton::clicked, this, [this] {
        choice = 1;
        accept();
    });
    layout->addLayout(smallDialogButtons({realButton, virtualButton}));
}

int askFolderKind(QWidget *parent)
{
    // The main window comes to the front first.
    if (QWidget *top = parent ? parent->window() : nullptr) {
        top->showNormal();
        top->raise();
        top->activateWindow();
    }
    TfolderKindDialog d(parent);
    d.exec();
    return d.choice;
}

// ---- multi-line input ----

TmultiLineDialog::TmultiLineDialog(QWidget *parent, const QString &title, const QString &message,
                                   const QString &initial)
    : QDialog(parent)
{
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(dialogText(message)));
    textBox = new QPlainTextEdit(initial);
    layout->addWidget(textBox);
    auto *ok = new QPushButton(QStringLiteral("&OK"));
    auto *cancel = new QPushButton(QStringLiteral("&Cancel"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addLayout(smallDialogButtons({ok, cancel}));
}

std::optional<QString> askMultiLine(QWidget *parent, const QString &title, const QString &message,
                                    const QString &initial)
{
    TmultiLineDialog d(parent, title, message, initial);
    if (d.exec() != QDialog::Accepted)
        return std::nullopt;
    return d.textBox->toPlainText();
}

// ---- purge ----

TpurgeDialog::TpurgeDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Purge options"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Choose what to remove...")));
    filesBox = new QCheckBox(QStringLiteral("Non-existent files"));
    realFoldersBox = new QCheckBox(QStringLiteral("Non-existent real folders"));
    emptyFoldersBox = new QCheckBox(QStringLiteral("Empty folders"));
    for (QCheckBox *b : {filesBox, realFoldersBox, emptyFoldersBox})
        layout->addWidget(b);
    auto *ok = new QPushButton(QStringLiteral("&Ok"));
    auto *cancel = new QPushButton(QStringLiteral("&Cancel"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addLayout(smallDialogButtons({ok, cancel}));
}

TpurgeChoices TpurgeDialog::choices() const
{
    TpurgeChoices c;
    c.missingFiles = filesBox->isChecked();
    c.missingRealFolders = realFoldersBox->isChecked();
    c.emptyFolders = emptyFoldersBox->isChecked();
    return c;
}

int purgeWithDialog(QWidget *parent, Tfile *from)
{
    TpurgeDialog d(parent);
    if (d.exec() != QDialog::Accepted)
        return -1;
    TtreeEditor editor(Tvfs::instance(), prompt());
    return editor.purge(from, d.choices());
}

// ---- addresses ever connected ----

TaddressesWindow::TaddressesWindow(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Addresses ever connected"));
    auto *layout = new QVBoxLayout(this);
    listBox = new QPlainTextEdit;
    listBox->setReadOnly(true);
    totalLabel = new QLabel;
    resetButton = new QPushButton(QStringLiteral("&Reset"));
    editorButton = new QPushButton(QStringLiteral("&Open in editor"));
    openInEditor = [](const QString &text) {
        const QString error = openTextInEditor(text);
        if (!error.isEmpty())
            prompt().message(error, PK_ERROR);
    };
    connect(resetButton, &QPushButton::clicked, this, [this] {
        opts().ipsEverConnected.clear();
        refresh();
    });
    connect(editorButton, &QPushButton::clicked, this, [this] { openInEditor(listBox->toPlainText()); });
    // New addresses show up while the window is open.
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this] {
        if (isVisible() && shownCount != opts().ipsEverConnected.size())
            refresh();
    });
    poll->start(1000);
    layout->addWidget(listBox);
    auto *row = smallDialogButtons({resetButton, editorButton});
    row->insertWidget(0, totalLabel);
    layout->addLayout(row);
}

void TaddressesWindow::refresh()
{
    const QStringList &list = opts().ipsEverConnected;
    shownCount = list.size();
    listBox->setPlainText(list.join(u'\n'));
    totalLabel->setText(QStringLiteral("Total: %1").arg(list.size()));
}

TaddressesWindow &addressesWindow()
{
    static TaddressesWindow *w = new TaddressesWindow;
    return *w;
}

// ---- run script ----

TrunScriptWindow::TrunScriptWindow(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Run script"));
    auto *layout = new QVBoxLayout(this);
    resultBox = new QPlainTextEdit;
    resultBox->setReadOnly(true);
    sizeLabel = new QLabel(QStringLiteral("Size: 0"));
    runButton = new QPushButton(QStringLiteral("&Run"));
    autoRunBox = new QCheckBox(QStringLiteral("&Auto run at every saving"));
    connect(runButton, &QPushButton::clicked, this, &TrunScriptWindow::run);
    // The file is watched once a second, as long as the window exists.
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &TrunScriptWindow::runWhenChanged);
    poll->start(1000);
    layout->addWidget(resultBox);
    auto *row = new QHBoxLayout;
    row->addWidget(sizeLabel);
    row->addStretch();
    row->addWidget(autoRunBox);
    row->addWidget(runButton);
    layout->addLayout(row);
}

QString TrunScriptWindow::scriptPath()
{
    return QDir::temp().filePath(QStringLiteral("zof script.tmp"));
}

void TrunScriptWindow::prepare()
{
    QFile f(scriptPath());
    if (!f.exists() && f.open(QIODevice::WriteOnly))
        f.close();
    seen = QFileInfo(scriptPath()).lastModified();
}

void TrunScriptWindow::start()
{
    prepare();
    show();
    raise();
    openFileInEditor(scriptPath());
}

void TrunScriptWindow::run()
{
    QFile f(scriptPath());
    QString result;
    if (!f.open(QIODevice::ReadOnly)) {
        result = f.errorString();
    } else {
        auto tpl = std::make_shared<Ttpl>(QString::fromUtf8(f.readAll()), mainTpl());
        QString error;
        auto previous = macroSettings().statusBar;
        macroSettings().statusBar = [&error](const QString &msg, int) {
            if (error.isEmpty())
                error = msg;
        };
        result = runScriptText(tpl->getTxt(QString()), {}, tpl);
        macroSettings().statusBar = previous;
        if (!error.isEmpty())
            result = error;
    }
    resultBox->setPlainText(result);
    sizeLabel->setText(QStringLiteral("Size: %1").arg(result.size()));
}

void TrunScriptWindow::runWhenChanged()
{
    if (!autoRunBox->isChecked())
        return;
    const QDateTime t = QFileInfo(scriptPath()).lastModified();
    if (t == seen)
        return;
    seen = t;
    run();
}

TrunScriptWindow *runScriptWindow(bool create)
{
    static TrunScriptWindow *w = nullptr;
    if (!w && create)
        w = new TrunScriptWindow;
    return w;
}
