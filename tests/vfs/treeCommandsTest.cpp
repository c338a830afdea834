// Which commands the tree's menu offers for each kind of selection.

#include "vfsTestTools.h"

#include "vfs/account.h"
#include "vfs/treeCommands.h"
#include "vfs/vfs.h"

#include <map>

namespace {

using Names = std::map<TtreeCommand, const char *>;
const Names commandNames = {
    {TC_ADD_FILES, "add files"},   {TC_ADD_FOLDER, "add folder"},   {TC_NEW_FOLDER, "new folder"},
    {TC_NEW_LINK, "new link"},     {TC_REMOVE, "remove"},           {TC_RENAME, "rename"},
    {TC_PASTE, "paste"},           {TC_EDIT_RESOURCE, "edit resource"}, {TC_COPY_URL, "copy url"},
    {TC_COPY_URL_WITH_PASSWORD, "copy url pwd"}, {TC_COPY_URL_OTHER_HOST, "copy url host"},
    {TC_COPY_URL_WITH_FINGERPRINT, "copy url md5"}, {TC_BROWSE, "browse"}, {TC_SET_URL, "set url"},
    {TC_OPEN, "open"},             {TC_FLAG_NEW, "flag new"},       {TC_RESET_NEW, "reset new"},
    {TC_SET_USER_PASS, "set user"}, {TC_RESET_USER_PASS, "reset user"}, {TC_PURGE, "purge"},
    {TC_TO_VIRTUAL, "to virtual"}, {TC_TO_REAL, "to real"},         {TC_BIND_ROOT, "bind root"},
    {TC_UNBIND_ROOT, "unbind root"}, {TC_DEFAULT_ADD_POINT, "default point"}, {TC_PROPERTIES, "properties"},
};

QString offeredNames(const TtreeMenuState &s)
{
    const TtreeCommands c = offeredTreeCommands(s);
    QStringList out;
    for (const auto &[cmd, name] : commandNames)
        if (c.test(cmd))
            out << QString::fromLatin1(name);
    return out.join(u',');
}

class TreeCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        disk.file("f.txt");
        disk.folder("d");
        TvfsSettings st = vfs.settings();
        st.filesStayFlaggedForMinutes = 5;
        vfs.setSettings(st);
        file = vfs.add(Tfile::create(disk.path("f.txt")));
        real = vfs.add(Tfile::create(disk.path("d")));
        virt = vfs.add(Tfile::createVirtualFolder("v"));
        fromDisk = vfs.add(Tfile::createVirtualFolder("vd"));
        fromDisk->resource = disk.path("d");
        link = vfs.add(Tfile::createLink("l"));
        ASSERT_TRUE(file && real && virt && fromDisk && link);
    }
    TtreeMenuState state(QList<const Tfile *> sel, bool expert = true)
    {
        TtreeMenuState s;
        s.selection = sel;
        s.focused = sel.isEmpty() ? nullptr : sel.first();
        s.expert = expert;
        s.newFlagMinutes = vfs.settings().filesStayFlaggedForMinutes;
        return s;
    }

    DiskTree disk;
    Tvfs vfs;
    Tfile *file = nullptr, *real = nullptr, *virt = nullptr, *fromDisk = nullptr, *link = nullptr;
};

TEST_F(TreeCommands, EachKindOfSelection)
{
    const struct {
        const char *what;
        QList<const Tfile *> sel;
        const char *expert;
        const char *easy;
    } cases[] = {
        {"nothing", {}, "add files,add folder,new folder,new link,properties", "add files,add folder,new folder,properties"},
        {"root",
         {vfs.root()},
         "add files,add folder,new folder,new link,copy url,browse,reset new,set user,purge,bind root,"
         "default point,properties",
         "add files,add folder,new folder,copy url,reset new,set user,properties"},
        {"file",
         {file},
         "add files,add folder,remove,rename,edit resource,copy url,copy url md5,browse,open,reset new,set user,purge,"
         "properties",
         "add files,add folder,remove,rename,copy url,open,reset new,set user,properties"},
        {"link",
         {link},
         "add files,add folder,remove,rename,copy url,browse,set url,open,reset new,set user,purge,properties",
         "add files,add folder,remove,rename,copy url,set url,open,reset new,set user,properties"},
        {"real folder",
         {real},
         "add files,add folder,new folder,new link,remove,rename,edit resource,copy url,browse,open,reset new,"
         "set user,purge,to virtual,default point,properties",
         "add files,add folder,new folder,remove,rename,copy url,open,reset new,set user,properties"},
        {"virtual folder",
         {virt},
         "add files,add folder,new folder,new link,remove,rename,copy url,browse,reset new,set user,purge,"
         "default point,properties",
         "add files,add folder,new folder,remove,rename,copy url,reset new,set user,properties"},
        {"virtual folder from disk",
         {fromDisk},
         "add files,add folder,new folder,new link,remove,rename,copy url,browse,reset new,set user,purge,to real,"
         "default point,properties",
         "add files,add folder,new folder,remove,rename,copy url,reset new,set user,properties"},
        {"several mixed",
         {vfs.root(), file, link, real},
         "add files,add folder,remove,copy url,copy url md5,set url,reset new,set user,purge,to virtual,properties",
         "add files,add folder,remove,copy url,set url,reset new,set user,properties"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(offeredNames(state(c.sel)), QString::fromLatin1(c.expert));
        EXPECT_EQ(offeredNames(state(c.sel, false)), QString::fromLatin1(c.easy));
    }
}

TEST_F(TreeCommands, LockedNodesAreOfferedTheSameCommands)
{
    // The commands themselves refuse locked nodes and say so; the menu does
    // not hide them.
    const QString before = offeredNames(state({real}));
    real->lock();
    EXPECT_EQ(offeredNames(state({real})), before);
    EXPECT_TRUE(offeredTreeCommands(state({real})).test(TC_REMOVE));
}

TEST_F(TreeCommands, StateBeyondTheSelection)
{
    // The "new" flag: nothing offered while the option is off; with old
    // nodes, flagging is offered instead of resetting.
    TtreeMenuState s = state({file});
    s.newFlagMinutes = 0;
    EXPECT_FALSE(offeredTreeCommands(s).test(TC_RESET_NEW));
    EXPECT_FALSE(offeredTreeCommands(s).test(TC_FLAG_NEW));
    vfs.resetNewFlag({file});
    s = state({file});
    EXPECT_TRUE(offeredTreeCommands(s).test(TC_FLAG_NEW));
    EXPECT_FALSE(offeredTreeCommands(s).test(TC_RESET_NEW));

    s.clipboardHasFiles = true;
    s.urlAddressCount = 2;
    s.passwordNames = {"ann"};
    file->user = "u";
    const TtreeCommands c = offeredTreeCommands(s);
    for (TtreeCommand cmd : {TC_PASTE, TC_COPY_URL_OTHER_HOST, TC_COPY_URL_WITH_PASSWORD, TC_RESET_USER_PASS})
        EXPECT_TRUE(c.test(cmd)) << commandNames.at(cmd);
    s.urlAddressCount = 1;
    EXPECT_FALSE(offeredTreeCommands(s).test(TC_COPY_URL_OTHER_HOST));

    // A root bound to a disk folder offers unbinding instead.
    vfs.bindRoot(disk.path("d"));
    const TtreeCommands r = offeredTreeCommands(state({vfs.root()}));
    EXPECT_TRUE(r.test(TC_UNBIND_ROOT));
    EXPECT_FALSE(r.test(TC_BIND_ROOT));
    EXPECT_FALSE(r.test(TC_TO_VIRTUAL)); // never the root
}

TEST_F(TreeCommands, PasswordUrlNamesExpandGroups)
{
    Taccounts accounts;
    const auto add = [&](const char *name, bool group, QStringList link) {
        Taccount a;
        a.user = QString::fromLatin1(name);
        a.group = group;
        a.link = link;
        accounts.list << a;
    };
    add("staff", true, {"all"});
    add("all", true, {"staff"}); // a membership loop
    add("zoe", false, {"staff"});
    add("Bob", false, {});
    add("amy", false, {"all"});
    add("eve", false, {});
    vfs.setAccounts(&accounts);
    real->accounts[FA_ACCESS] = {"staff", "@anyone"};
    real->accounts[FA_UPLOAD] = {"Bob", "nobody"};
    EXPECT_EQ(passwordUrlNames(*real, accounts), QStringList({"amy", "Bob", "zoe"}));
    vfs.setAccounts(nullptr);
}

} // namespace
