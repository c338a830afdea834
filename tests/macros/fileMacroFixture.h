#pragma once
// A scratch folder published as /pub in the program's tree, with the file
// macros registered and helpers to run scripts and look at the disk.

#include "macros/macrosFiles.h"
#include "macros/macrosRegistration.h"
#include "macros/sourcePath.h"
#include "script/macroEngine.h"
#include "script/macroRegistry.h"
#include "util/files.h"
#include "util/workingFolder.h"
#include "vfs/vfs.h"
#include "qtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

class FileMacroFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        registerFileMacros(TmacroRegistry::instance());
        ASSERT_TRUE(dir.isValid());
        root = dir.path();
        QDir().mkpath(root + "/pub");
        Tvfs::instance().resetVFS();
        pub = Tvfs::instance().add(Tfile::create(root + "/pub"));
        ASSERT_TRUE(pub);
        pub->setName("pub");
        setFilesBaseFolder(root);
        resetWorkingFolder();
    }
    void TearDown() override
    {
        Tvfs::instance().resetVFS();
        resetWorkingFolder();
        setFilesBaseFolder(QString());
        setEventsTemplate(nullptr);
        globalVars().clear();
    }

    // Expands a script text without connection, in the published folder.
    QString run(const QString &text)
    {
        TmacroData md;
        md.tpl = std::make_shared<Ttpl>();
        md.folder = pub;
        QString t = text;
        runMacroText(t, md, true);
        return t;
    }
    // A disk path in template form below the scratch folder.
    QString tp(const QString &rel) const { return templatePath(root + '/' + rel); }
    QString p(const QString &rel) const { return root + '/' + rel; }
    void write(const QString &rel, const QByteArray &bytes = "x")
    {
        QDir().mkpath(QFileInfo(p(rel)).path());
        QFile f(p(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray read(const QString &rel) const
    {
        QFile f(p(rel));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    bool exists(const QString &rel) const
    {
        struct stat st;
        return ::lstat(QFile::encodeName(p(rel)).constData(), &st) == 0;
    }

    QTemporaryDir dir;
    QString root;
    Tfile *pub = nullptr;
};
