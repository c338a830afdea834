// The small windows: user and password checks, the folder kind question,
// the multi-line input, the purge choices, the address list and the script
// window.
#include "app/textEditor.h"
#include "config/options.h"
#include "dialogTestTools.h"
#include "qtPrinters.h"
#include "ui/smallDialogs.h"
#include "vfsTreeTestTools.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

TEST(SmallDialogs, UserPassChecksInOrderAndKeepsTheWindowOpen)
{
    TrecordingPrompt rec;
    TuserPassDialog d(nullptr, &rec);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Insert the requested user/pass"));
    d.setPair({QStringLiteral("joe"), QStringLiteral("pw")});
    EXPECT_EQ(d.pass2Box->text(), QStringLiteral("pw"));
    d.show();

    const struct
    {
        const char *user, *pwd, *pwd2, *message;
    } cases[] = {
        {"a/b", "p|q", "", "Invalid username"},
        {"ann", "p|q", "", "The characters below are not allowed\r/\\:?*\"<>|;&&@"},
        {"", "pw", "pw", "User is mandatory"},
        {" ann ", "pw", "pW", "The two passwords you entered don't match"},
    };
    for (const auto &c : cases) {
        d.userBox->setText(QString::fromUtf8(c.user));
        d.passBox->setText(QString::fromUtf8(c.pwd));
        d.pass2Box->setText(QString::fromUtf8(c.pwd2));
        d.okButton->click();
        EXPECT_EQ(rec.asked.value(rec.asked.size() - 1), u'!' + QString::fromUtf8(c.message)) << c.user;
        EXPECT_TRUE(d.isVisible());
    }
    EXPECT_EQ(rec.asked.size(), 4);
    EXPECT_EQ(d.userBox->text(), QStringLiteral("ann")) << "trimmed";

    d.resetButton->click();
    EXPECT_TRUE(d.userBox->text().isEmpty() && d.passBox->text().isEmpty() && d.pass2Box->text().isEmpty());
    d.okButton->click(); // an empty pair is accepted: it clears
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(rec.asked.size(), 4);

    d.setPair({QStringLiteral("ann"), QStringLiteral(" pw ")});
    d.show();
    d.okButton->click();
    EXPECT_EQ(d.pair().user, QStringLiteral("ann"));
    EXPECT_EQ(d.pair().password, QStringLiteral("pw"));
    EXPECT_FALSE(d.isVisible());
}

TEST(SmallDialogs, FolderKindAndMultiLineInput)
{
    whenModal<TfolderKindDialog>([](TfolderKindDialog *d) { d->virtualButton->click(); });
    EXPECT_EQ(askFolderKind(nullptr), 1);
    whenModal<TfolderKindDialog>([](TfolderKindDialog *d) { d->realButton->click(); });
    EXPECT_EQ(askFolderKind(nullptr), 0);
    whenModal<TfolderKindDialog>([](TfolderKindDialog *d) { d->reject(); });
    EXPECT_EQ(askFolderKind(nullptr), -1) << "closed: the addition stops";

    whenModal<TmultiLineDialog>([](TmultiLineDialog *d) {
        EXPECT_EQ(d->textBox->toPlainText(), QStringLiteral("before"));
        d->textBox->setPlainText(QStringLiteral("line 1\nline 2"));
        d->accept();
    });
    EXPECT_EQ(askMultiLine(nullptr, QStringLiteral("Comment"), QStringLiteral("Say\rsomething"), QStringLiteral("before")),
              QStringLiteral("line 1\nline 2"));
    whenModal<TmultiLineDialog>([](TmultiLineDialog *d) { d->reject(); });
    EXPECT_FALSE(askMultiLine(nullptr, QString(), QString(), QStringLiteral("x")).has_value());
}

TEST(SmallDialogs, PurgeRemovesWhatWasChosen)
{
    TtreeFixture fx;
    // A file whose disk file is gone, an empty virtual folder, a virtual
    // folder holding only a vanished file, a real folder whose disk folder is gone.
    fx.writeFile(QStringLiteral("gone.txt"));
    Tfile *gone = fx.tree->add(Tfile::create(fx.diskPath(QStringLiteral("gone.txt"))));
    ASSERT_TRUE(QDir(fx.dir.path()).mkdir(QStringLiteral("d")));
    Tfile *realGone = fx.tree->add(Tfile::create(fx.diskPath(QStringLiteral("d"))));
    Tfile *empty = fx.tree->add(Tfile::createVirtualFolder(QStringLiteral("empty")));
    Tfile *holder = fx.tree->add(Tfile::createVirtualFolder(QStringLiteral("holder")));
    ASSERT_TRUE(gone && realGone && empty && holder);
    fx.writeFile(QStringLiteral("brief.txt"));
    ASSERT_TRUE(fx.tree->add(Tfile::create(fx.diskPath(QStringLiteral("brief.txt"))), holder));
    QFile::remove(fx.diskPath(QStringLiteral("gone.txt")));
    QFile::remove(fx.diskPath(QStringLiteral("brief.txt")));
    QDir(fx.dir.path()).rmdir(QStringLiteral("d"));
    const auto names = [&fx] {
        QStringList out;
        for (const TfilePtr &c : fx.tree->root()->children())
            out += c->name;
        out.sort();
        return out;
    };

    whenModal<TpurgeDialog>([](TpurgeDialog *d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Purge options"));
        d->filesBox->setChecked(true);
        d->reject();
    });
    EXPECT_EQ(purgeWithDialog(nullptr, nullptr), -1);
    EXPECT_EQ(names().size(), 6);

    // Only the files: the holder keeps its place (empty folders not chosen).
    whenModal<TpurgeDialog>([](TpurgeDialog *d) {
        d->filesBox->setChecked(true);
        d->accept();
    });
    EXPECT_EQ(purgeWithDialog(nullptr, nullptr), 2);
    EXPECT_EQ(names(), (QStringList{"d", "empty", "holder", "notes.txt", "pub"}));

    whenModal<TpurgeDialog>([](TpurgeDialog *d) {
        d->realFoldersBox->setChecked(true);
        d->emptyFoldersBox->setChecked(true);
        d->accept();
    });
    EXPECT_EQ(purgeWithDialog(nullptr, nullptr), 3);
    EXPECT_EQ(names(), (QStringList{"notes.txt", "pub"}));
}

TEST(SmallDialogs, AddressesEverConnected)
{
    Tservices services;
    opts().ipsEverConnected = {QStringLiteral("1.2.3.4"), QStringLiteral("5.6.7.8")};
    TaddressesWindow w;
    QString sent;
    w.openInEditor = [&sent](const QString &t) { sent = t; };
    w.refresh();
    EXPECT_EQ(w.listBox->toPlainText(), QStringLiteral("1.2.3.4\n5.6.7.8"));
    EXPECT_EQ(w.totalLabel->text(), QStringLiteral("Total: 2"));
    w.editorButton->click();
    EXPECT_EQ(sent, QStringLiteral("1.2.3.4\n5.6.7.8"));
    w.resetButton->click();
    EXPECT_TRUE(opts().ipsEverConnected.isEmpty());
    EXPECT_EQ(w.totalLabel->text(), QStringLiteral("Total: 0"));
    // While shown, a new address appears within a second.
    w.show();
    opts().ipsEverConnected = {QStringLiteral("9.9.9.9")};
    EXPECT_TRUE(QTest::qWaitFor([&w] { return w.totalLabel->text() == QStringLiteral("Total: 1"); }, 2500));
    EXPECT_EQ(w.listBox->toPlainText(), QStringLiteral("9.9.9.9"));
}

TEST(SmallDialogs, RunScriptWindow)
{
    Tservices services;
    QTemporaryDir tmp;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmp.path().toUtf8());
    TrunScriptWindow w;
    EXPECT_EQ(TrunScriptWindow::scriptPath(), tmp.path() + QStringLiteral("/zof script.tmp"));
    // Started from the menu: the file is made and handed to the editor.
    QStringList started;
    const TdetachedStarter previousStarter = detachedStarter();
    detachedStarter() = [&started](const QString &program, const QStringList &args) {
        started << program << args;
        return true;
    };
    w.start();
    detachedStarter() = previousStarter;
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(started.value(started.size() - 1), TrunScriptWindow::scriptPath());
    EXPECT_TRUE(QFile::exists(TrunScriptWindow::scriptPath()));
    EXPECT_EQ(w.sizeLabel->text(), QStringLiteral("Size: 0"));
    {
        QFile f(TrunScriptWindow::scriptPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{.add|20|3.}\n[other section]\nnot run");
    }
    w.runButton->click();
    EXPECT_EQ(w.resultBox->toPlainText(), QStringLiteral("23"));
    EXPECT_EQ(w.sizeLabel->text(), QStringLiteral("Size: 2"));

    // Automatic runs follow the file's time, only when asked.
    {
        QFile f(TrunScriptWindow::scriptPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{.add|1|1.}");
        f.close();
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    }
    w.runWhenChanged();
    EXPECT_EQ(w.resultBox->toPlainText(), QStringLiteral("23"));
    w.autoRunBox->setChecked(true);
    w.runWhenChanged();
    EXPECT_EQ(w.resultBox->toPlainText(), QStringLiteral("2"));
    w.resultBox->clear();
    w.runWhenChanged();
    EXPECT_TRUE(w.resultBox->toPlainText().isEmpty()) << "unchanged file: no run";
    // The window watches the file by itself.
    {
        QFile f(TrunScriptWindow::scriptPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{.add|40|2.}");
        f.close();
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(QDateTime::currentDateTime().addSecs(10), QFileDevice::FileModificationTime);
    }
    EXPECT_TRUE(QTest::qWaitFor([&w] { return w.resultBox->toPlainText() == QStringLiteral("42"); }, 2500));
    if (oldTmp.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTmp);
}
