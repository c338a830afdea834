#pragma once
// Shared by the tree file tests: building trees, comparing them, building
// files by hand and a prompt that answers from a script.

#include "util/prompt.h"
#include "vfs/tlv.h"
#include "vfs/vfs.h"
#include "vfs/vfsFormat.h"
#include "vfs/vfsFormatIcons.h"

#include <gtest/gtest.h>

#include <QList>
#include <QStringList>

#include <functional>

namespace vfsTest {

inline const QByteArray gifBytes("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04"
                                 "\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;",
                                 43);

inline Tfile *addVirtual(Tvfs &v, Tfile *parent, const QString &name)
{
    return v.add(Tfile::createVirtualFolder(name), parent);
}

// A tree with every kind of node and every stored field set somewhere.
// `diskDir` is an existing folder holding a file "data.bin".
inline void buildRichTree(Tvfs &v, const QString &diskDir)
{
    Tfile *root = v.root();
    root->comment = QStringLiteral("Welcome <b>home</b>");
    root->user = QStringLiteral("j\u00f6e");
    root->pwd = QStringLiteral("p:w\u20acd");
    root->realm = QStringLiteral("My realm");
    root->diffTpl = QStringLiteral("[files]\n{.if|x|y.}");
    root->filesFilter = QStringLiteral("*.mp3;*.ogg");
    root->foldersFilter = QStringLiteral("\\*tmp*");
    root->accounts[FA_ACCESS] = {QStringLiteral("@anonymous"), QStringLiteral("bob"), QStringLiteral("staff")};

    Tfile *music = addVirtual(v, root, QString::fromUtf8("M\xC3\xBCsik \xE6\x97\xA5\xE6\x9C\xAC"));
    music->accounts[FA_ACCESS] = {QStringLiteral("@any account")};
    music->accounts[FA_DELETE] = {QStringLiteral("bob")};
    music->accounts[FA_UPLOAD] = {QStringLiteral("@anyone"), QStringLiteral("staff")};
    music->uploadFilterMask = QStringLiteral("*.mp3");
    music->defaultFileMask = QStringLiteral("index.html");
    music->dontCountAsDownloadMask = QStringLiteral("*.css");
    music->flags.set(FA_HIDDEN);
    music->flags.set(FA_HIDE_EMPTY_FOLDERS);
    music->atime = 45000.25;

    Tfile *deep = addVirtual(v, addVirtual(v, music, QStringLiteral("level2")), QStringLiteral("level3"));
    deep->flags.clear(FA_BROWSABLE);
    deep->flags.set(FA_HIDDENTREE);
    deep->comment = QStringLiteral("third level");

    Tfile *real = v.add(Tfile::create(diskDir), root);
    real->accounts[FA_UPLOAD] = {QStringLiteral("bob")};
    real->flags.set(FA_DL_FORBIDDEN);

    Tfile *file = v.add(Tfile::create(diskDir + QStringLiteral("/data.bin")), deep);
    file->ownDownloads = 1234;
    file->comment = QString::fromUtf8("\xE2\x82\xAC 5");
    file->icon = TvfsIcons::current().indexOf(gifBytes);
    file->flags.set(FA_DONT_COUNT_AS_DL);
    file->user = QStringLiteral("ann");
    file->pwd = QString();

    Tfile *link = v.add(Tfile::createLink(QStringLiteral("search")), root);
    link->resource = QStringLiteral("https://example.org/?q=a;b");
    link->atime = 44000.5;

    v.setTempDownloadCount(diskDir + QStringLiteral("/x/y.txt"), 7);
    v.setTempDownloadCount(QString::fromUtf8("/srv/\xC3\xA9t\xC3\xA9.ogg"), 99);
}

inline QString path(const Tfile &f)
{
    return f.isRoot() ? QStringLiteral("/") : (f.parent() ? path(*f.parent()) : QString()) + f.name + u'/';
}

// Every stored field of two trees, recursively.
inline void expectSameTree(const Tfile &a, const Tfile &b)
{
    const std::string where = path(a).toStdString();
    EXPECT_EQ(a.name, b.name) << where;
    EXPECT_EQ(a.comment, b.comment) << where;
    EXPECT_EQ(a.user, b.user) << where;
    EXPECT_EQ(a.pwd, b.pwd) << where;
    EXPECT_EQ(a.resource, b.resource) << where;
    EXPECT_EQ(a.flags.toWord(), b.flags.toWord()) << where;
    if (!a.isRoot()) { // the root's time is not stored
        EXPECT_EQ(a.atime, b.atime) << where;
    }
    EXPECT_EQ(TvfsIcons::current().bytesOf(a.icon), TvfsIcons::current().bytesOf(b.icon)) << where;
    for (int i = 0; i < FA_ACTION_COUNT; ++i)
        EXPECT_EQ(a.accounts[i], b.accounts[i]) << where << " list " << i;
    EXPECT_EQ(a.filesFilter, b.filesFilter) << where;
    EXPECT_EQ(a.foldersFilter, b.foldersFilter) << where;
    EXPECT_EQ(a.realm, b.realm) << where;
    EXPECT_EQ(a.diffTpl, b.diffTpl) << where;
    EXPECT_EQ(a.defaultFileMask, b.defaultFileMask) << where;
    EXPECT_EQ(a.dontCountAsDownloadMask, b.dontCountAsDownloadMask) << where;
    EXPECT_EQ(a.uploadFilterMask, b.uploadFilterMask) << where;
    if (a.isFile()) {
        EXPECT_EQ(a.ownDownloads, b.ownDownloads) << where;
    }
    if (a.isVirtualFolder() || a.isLink()) {
        EXPECT_EQ(b.mtime, b.atime) << where;
    }
    ASSERT_EQ(a.children().size(), b.children().size()) << where;
    for (qsizetype i = 0; i < a.children().size(); ++i)
        expectSameTree(*a.children().at(i), *b.children().at(i));
}

inline int countNodes(const Tfile &f)
{
    int n = 1;
    for (const TfilePtr &c : f.children())
        n += countNodes(*c);
    return n;
}

// A whole file around `body`, with a correct checksum unless told otherwise.
inline QByteArray fileAround(const QByteArray &body, const QString &build = QStringLiteral("400"),
                             bool shortFormat = false)
{
    QByteArray out = Ttlv::textRecord(VR_MAGIC, QStringLiteral("ZOF.VFS"));
    out += shortFormat ? Ttlv::record(VR_FORMAT, QByteArray("\x01", 1)) : Ttlv::intRecord(VR_FORMAT, 1);
    out += Ttlv::textRecord(VR_VERSION, QStringLiteral("1.0"));
    if (!build.isNull())
        out += Ttlv::textRecord(VR_BUILD, build);
    out += Ttlv::intRecord(VR_CHECKSUM, qint32(vfsChecksum(body)));
    return out + body;
}

inline QByteArray nodeRec(const QByteArray &content)
{
    return Ttlv::record(VR_NODE, content);
}

inline QByteArray flagsRec(std::initializer_list<TfileAttribute> atts)
{
    return Ttlv::intRecord(VR_FLAGS, qint32(TfileAttributes(atts).toWord()));
}

inline QByteArray vfolderRec(const QString &name, const QByteArray &more = {})
{
    return nodeRec(flagsRec({FA_FOLDER, FA_VIRTUAL, FA_BROWSABLE}) + Ttlv::textRecord(VR_NAME, name)
                   + Ttlv::doubleRecord(VR_ADDED, 45000.0) + more);
}

inline Tfile *child(const Tfile *parent, const QString &name)
{
    for (const TfilePtr &c : parent->children())
        if (c->name == name)
            return c.data();
    return nullptr;
}

// Answers questions from a script, records what was shown.
class TscriptedPrompt : public Tprompt {
public:
    QStringList messages;
    QStringList questions;
    // Answer by question text; questions not found take the safe default.
    std::function<TpromptButton(const QString &, TpromptButton safe)> answer;

    void message(const QString &text, TpromptKind) override { messages.append(text); }
    TpromptButton question(const QString &text, TpromptButtons, TpromptButton safeDefault) override
    {
        questions.append(text);
        return answer ? answer(text, safeDefault) : safeDefault;
    }
};

// Installs a scripted prompt for the lifetime of the object.
class TpromptScope {
public:
    TpromptScope()
    {
        auto p = std::make_unique<TscriptedPrompt>();
        prompt_ = p.get();
        previous_ = setPrompt(std::move(p));
    }
    ~TpromptScope() { setPrompt(std::move(previous_)); }
    TscriptedPrompt *operator->() const { return prompt_; }
    TscriptedPrompt &operator*() const { return *prompt_; }

private:
    TscriptedPrompt *prompt_;
    std::unique_ptr<Tprompt> previous_;
};

} // namespace vfsTest
