#pragma once
// Shared by the tree view's tests: the program's services with a tree of a
// few nodes over a scratch folder, a prompt that records what it is asked
// and answers from a queue, and helpers to act on the view as a user would.
#include "app/services.h"
#include "util/prompt.h"
#include "vfs/file.h"
#include "vfs/vfs.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class TrecordingPrompt : public Tprompt
{
public:
    QList<TpromptButton> answers; // taken in turn; then the safe answer
    QStringList asked;            // "?question", "!message", "#typed text asked"
    QList<std::optional<QString>> typed;

    void message(const QString &text, TpromptKind) override { asked << u'!' + text; }
    TpromptButton question(const QString &text, TpromptButtons buttons, TpromptButton safeDefault) override
    {
        asked << u'?' + text;
        const TpromptButton a = answers.isEmpty() ? safeDefault : answers.takeFirst();
        return buttons.testFlag(a) ? a : safeDefault;
    }
    std::optional<QString> askText(const QString &text, const QString &, const QString &, bool) override
    {
        asked << u'#' + text;
        return typed.isEmpty() ? std::nullopt : typed.takeFirst();
    }
};

// Installs a recording prompt for the life of the object.
class TpromptScope
{
public:
    TpromptScope()
    {
        auto p = std::make_unique<TrecordingPrompt>();
        prompt = p.get();
        previous = setPrompt(std::move(p));
    }
    ~TpromptScope() { setPrompt(std::move(previous)); }
    TrecordingPrompt *prompt;

private:
    std::unique_ptr<Tprompt> previous;
};

// The services, and below the root: a file "notes.txt" and a virtual folder
// "pub" holding the file "inner.txt".
struct TtreeFixture
{
    TtreeFixture()
    {
        EXPECT_TRUE(dir.isValid());
        writeFile(QStringLiteral("notes.txt"));
        writeFile(QStringLiteral("inner.txt"));
        tree = &Tvfs::instance();
        file = tree->add(Tfile::create(diskPath(QStringLiteral("notes.txt"))));
        pub = tree->add(Tfile::createVirtualFolder(QStringLiteral("pub")));
        inner = tree->add(Tfile::create(diskPath(QStringLiteral("inner.txt"))), pub);
        EXPECT_TRUE(file && pub && inner);
    }
    QString diskPath(const QString &name) const { return dir.path() + u'/' + name; }
    void writeFile(const QString &name)
    {
        QFile f(diskPath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("data");
    }

    Tservices services;
    QTemporaryDir dir;
    Tvfs *tree = nullptr;
    Tfile *file = nullptr, *pub = nullptr, *inner = nullptr;
};

// The captions a menu offers now (as at its opening).
inline QStringList offeredCaptions(QMenu *menu)
{
    Q_EMIT menu->aboutToShow();
    QStringList out;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            out += a->text();
    return out;
}

inline QAction *menuAction(QMenu *menu, const QString &caption)
{
    Q_EMIT menu->aboutToShow();
    for (QAction *a : menu->actions())
        if (a->text() == caption)
            return a;
    return nullptr;
}
