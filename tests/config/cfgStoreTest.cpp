// Where the text is stored: reading order, saving, failures, the addresses
// file, the automatic save and the temporary reset.
#include "cfgFixture.h"

#include <QFileInfo>

#include <sys/stat.h>

namespace {
QString ips(int n)
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list.append(QStringLiteral("10.0.%1.%2").arg(i / 200).arg(i % 200));
    list.sort();
    return list.join(u';');
}
}

TEST_F(CfgFixture, StoresAreReadInOrder)
{
    writeAll(places.machineStore, "port=3\r\n");
    EXPECT_EQ(config->readStoredCfg(), QStringLiteral("port=3\r\n"));
    EXPECT_EQ(config->cfgStorage, CS_REGISTRY_ALL);
    writeAll(places.userStore, "port=2\r\n");
    EXPECT_EQ(config->readStoredCfg(), QStringLiteral("port=2\r\n"));
    EXPECT_EQ(config->cfgStorage, CS_REGISTRY_USER);
    writeAll(places.iniFile, "\xEF\xBB\xBFport=1\r\n"); // an editor's BOM is dropped
    EXPECT_EQ(config->readStoredCfg(), QStringLiteral("port=1\r\n"));
    EXPECT_EQ(config->cfgStorage, CS_FILE);
}

TEST_F(CfgFixture, TemplateBesideTheIniIsTaken)
{
    writeAll(places.iniFile, "port=1\r\n");
    writeAll(places.cfgFolder + QStringLiteral("zof.tpl"), "[]\r\nhello");
    config->readStoredCfg();
    EXPECT_EQ(options.tplFile, places.cfgFolder + QStringLiteral("zof.tpl"));
    options.tplFile = QStringLiteral("/elsewhere.tpl");
    config->readStoredCfg();
    EXPECT_EQ(options.tplFile, QStringLiteral("/elsewhere.tpl"));
}

TEST_F(CfgFixture, SaveWritesThenRemovesTheOtherPlaces)
{
    writeAll(places.iniFile, "old");
    writeAll(places.userStore, "old");
    writeAll(places.updateCheckTmp, "");
    options.logMaxLines = 42;

    config->cfgStorage = CS_REGISTRY_ALL;
    ASSERT_TRUE(config->saveCFG());
    EXPECT_FALSE(QFileInfo::exists(places.iniFile));
    EXPECT_FALSE(QFileInfo::exists(places.userStore));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(places.userStore).absolutePath())); // empty folders go too
    EXPECT_FALSE(QFileInfo::exists(places.updateCheckTmp));
    EXPECT_EQ(valueOf(QString::fromUtf8(readAll(places.machineStore)), QStringLiteral("log-max-lines")), QStringLiteral("42"));

    writeAll(places.iniFile, "old");
    config->cfgStorage = CS_REGISTRY_USER;
    ASSERT_TRUE(config->saveCFG());
    EXPECT_FALSE(QFileInfo::exists(places.iniFile));
    EXPECT_TRUE(readAll(places.userStore).startsWith("ZOF 1.0 - Build #400\r\n"));

    config->cfgStorage = CS_FILE;
    ASSERT_TRUE(config->saveCFG());
    EXPECT_EQ(readAll(places.iniFile), config->getCfg().toUtf8());
}

TEST_F(CfgFixture, StoredFilesArePrivate)
{
    for (TcfgStorage where : {CS_FILE, CS_REGISTRY_USER}) {
        config->cfgStorage = where;
        ASSERT_TRUE(config->saveCFG());
        const QString path = where == CS_FILE ? places.iniFile : places.userStore;
        struct stat sb = {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &sb), 0);
        EXPECT_EQ(sb.st_mode & 0777, 0600u) << path.toStdString();
    }
}

TEST_F(CfgFixture, FailedSaveLeavesEveryCopyIntact)
{
    // A regular file where the machine store's folder should be: the write fails.
    writeAll(root + QStringLiteral("etc/brantel"), "not a folder");
    writeAll(places.iniFile, "ini");
    writeAll(places.userStore, "user");
    writeAll(places.ipsFile, "1.1.1.1\r\n");
    writeAll(places.updateCheckTmp, "");

    config->cfgStorage = CS_REGISTRY_ALL;
    EXPECT_FALSE(config->saveCFG());
    EXPECT_EQ(readAll(places.iniFile), QByteArray("ini"));
    EXPECT_EQ(readAll(places.userStore), QByteArray("user"));
    EXPECT_EQ(readAll(places.ipsFile), QByteArray("1.1.1.1\r\n"));
    EXPECT_TRUE(QFileInfo::exists(places.updateCheckTmp));
    // Headless, the question takes the safe answer: no switch of place.
    EXPECT_EQ(config->cfgStorage, CS_REGISTRY_ALL);
    EXPECT_TRUE(messages.contains(QStringLiteral("Can't save options there.\rShould I try to save to user registry?")));
}

TEST_F(CfgFixture, FailedSaveMayMoveToTheUserStore)
{
    setPrompt(std::make_unique<TcapturePrompt>(&messages, PB_YES));
    writeAll(places.cfgFolder + QStringLiteral("zof.ini/x"), ""); // the ini's name is a folder
    config->cfgStorage = CS_FILE;
    EXPECT_FALSE(config->saveCFG()); // false even when the second place worked
    EXPECT_EQ(config->cfgStorage, CS_REGISTRY_USER);
    EXPECT_TRUE(readAll(places.userStore).startsWith("ZOF "));
}

TEST_F(CfgFixture, ManyAddressesMoveToTheirOwnFile)
{
    config->cfgStorage = CS_FILE;
    writeAll(places.ipsFile, "stale\r\n");
    options.ipsEverConnected = ips(49).split(u';');
    ASSERT_TRUE(config->saveCFG());
    EXPECT_FALSE(QFileInfo::exists(places.ipsFile));
    EXPECT_EQ(valueOf(QString::fromUtf8(readAll(places.iniFile)), QStringLiteral("ips-ever-connected")), ips(49));

    options.ipsEverConnected = ips(50).split(u';');
    ASSERT_TRUE(config->saveCFG());
    EXPECT_TRUE(valueOf(QString::fromUtf8(readAll(places.iniFile)), QStringLiteral("ips-ever-connected")).isNull());
    EXPECT_EQ(readAll(places.ipsFile).count('\n'), 50);

    auto other = fresh();
    other->options.ipsEverConnected = {QStringLiteral("0.0.0.0")};
    other->config->setCfg(other->config->readStoredCfg(), false);
    EXPECT_EQ(other->options.ipsEverConnected.size(), 51);
    EXPECT_EQ(other->options.ipsEverConnected.first(), QStringLiteral("0.0.0.0"));
}

TEST_F(CfgFixture, AutomaticSaveIgnoresTotals)
{
    config->cfgStorage = CS_FILE;
    config->autoSaveCheck(true); // the first check only takes the snapshot
    EXPECT_FALSE(QFileInfo::exists(places.iniFile));
    options.outTotalOffset += 1000;
    options.hitsTotal += 1;
    config->autoSaveCheck(true);
    EXPECT_FALSE(QFileInfo::exists(places.iniFile));
    options.maxConnections = 9;
    config->autoSaveCheck(true);
    EXPECT_TRUE(QFileInfo::exists(places.iniFile));

    QFile::remove(places.iniFile);
    options.maxConnections = 10;
    config->autoSaveCheck(); // within 5 seconds of the last check: nothing yet
    EXPECT_FALSE(QFileInfo::exists(places.iniFile));

    options.autoSaveOptions = false;
    options.maxConnections = 11;
    config->autoSaveCheck(true);
    EXPECT_FALSE(QFileInfo::exists(places.iniFile));
}

TEST_F(CfgFixture, TemporaryResetKeepsTheUsersOptionsSafe)
{
    int cleared = 0, reloaded = 0;
    config->hooks.clearEvents = [&] { ++cleared; };
    config->hooks.reloadEvents = [&] { ++reloaded; };
    config->captureDefaults();
    config->cfgStorage = CS_FILE;
    options.logMaxLines = 7;
    options.banList = {{QStringLiteral("1.1.1.1"), QStringLiteral("x")}};
    accounts.list = {Taccount{QStringLiteral("amy"), QStringLiteral("pw"), {}, {}, {}, true, false, false, {}}};
    config->autoSaveCheck(true);

    config->temporaryReset();
    EXPECT_TRUE(config->isTemporarilyReset());
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(options.logMaxLines, 2000);
    EXPECT_TRUE(options.banList.isEmpty());
    ASSERT_EQ(accounts.list.size(), 1); // accounts are kept
    // Saves during the reset, automatic ones included, store the user's text.
    config->autoSaveCheck(true);
    EXPECT_EQ(valueOf(QString::fromUtf8(readAll(places.iniFile)), QStringLiteral("log-max-lines")), QStringLiteral("7"));
    options.logMaxLines = 3;
    ASSERT_TRUE(config->saveCFG());
    EXPECT_EQ(valueOf(QString::fromUtf8(readAll(places.iniFile)), QStringLiteral("log-max-lines")), QStringLiteral("7"));

    config->restoreOptions();
    EXPECT_FALSE(config->isTemporarilyReset());
    EXPECT_EQ(reloaded, 1);
    EXPECT_EQ(options.logMaxLines, 7);
    ASSERT_EQ(options.banList.size(), 1);
    EXPECT_EQ(options.banList[0].comment, QStringLiteral("x"));
}

TEST_F(CfgFixture, ClearingRemovesEveryStoredCopy)
{
    writeAll(places.iniFile, "a");
    writeAll(places.userStore, "b");
    writeAll(places.updateCheckTmp, "");
    config->clearStoredOptions();
    EXPECT_FALSE(QFileInfo::exists(places.iniFile));
    EXPECT_FALSE(QFileInfo::exists(places.userStore));
    EXPECT_FALSE(QFileInfo::exists(places.updateCheckTmp));
    EXPECT_FALSE(options.autoSaveOptions);
}
