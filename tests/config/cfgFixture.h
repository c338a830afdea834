#pragma once
// A configuration over its own options, accounts and files in a temporary
// folder, with the operator's messages captured.
#include "config/config.h"
#include "util/prompt.h"
#include "vfs/account.h"
#include "qtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

class TcapturePrompt : public Tprompt
{
public:
    explicit TcapturePrompt(QStringList *log, TpromptButton answer = PB_NONE) : log(log), answer(answer) {}
    void message(const QString &text, TpromptKind) override { log->append(text); }
    TpromptButton question(const QString &text, TpromptButtons, TpromptButton safeDefault) override
    {
        log->append(text);
        return answer == PB_NONE ? safeDefault : answer;
    }

private:
    QStringList *log;
    TpromptButton answer;
};

class CfgFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        root = tmp.path() + u'/';
        places.cfgFolder = root + QStringLiteral("cfg/");
        places.iniFile = places.cfgFolder + QStringLiteral("zof.ini");
        places.userStore = root + QStringLiteral("xdg/brantel/ZOF/zof.cfg");
        places.machineStore = root + QStringLiteral("etc/brantel/ZOF/zof.cfg");
        places.ipsFile = places.cfgFolder + QStringLiteral("zof.ips.txt");
        places.updateCheckTmp = root + QStringLiteral("ZOF last update check.tmp");
        QDir().mkpath(places.cfgFolder);
        config = std::make_unique<Tconfig>(options, accounts, places);
        previousPrompt = setPrompt(std::make_unique<TcapturePrompt>(&messages));
    }

    void TearDown() override { setPrompt(std::move(previousPrompt)); }

    // A fresh configuration over new state, sharing the same files.
    struct Tother
    {
        Toptions options;
        Taccounts accounts;
        std::unique_ptr<Tconfig> config;
    };
    std::unique_ptr<Tother> fresh() const
    {
        auto o = std::make_unique<Tother>();
        o->config = std::make_unique<Tconfig>(o->options, o->accounts, places);
        return o;
    }

    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeAll(const QString &path, const QByteArray &data)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
    }
    // The value of a key in a configuration text, or a null string.
    static QString valueOf(const QString &text, const QString &key)
    {
        for (const QString &line : text.split(QStringLiteral("\r\n")))
            if (line.startsWith(key + u'='))
                return line.mid(key.size() + 1);
        return {};
    }

    QTemporaryDir tmp;
    QString root;
    TcfgPlaces places;
    Toptions options;
    Taccounts accounts;
    std::unique_ptr<Tconfig> config;
    QStringList messages;
    std::unique_ptr<Tprompt> previousPrompt;
};
