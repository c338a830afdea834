#pragma once

// Shared helpers of the tree tests: a scratch folder on disk and a fake
// connection.

#include "vfs/connView.h"
#include "vfs/file.h"
#include "qtPrinters.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class TestConn : public TconnView {
public:
    TestConn(QString u = {}, QString p = {})
        : u_(std::move(u)), p_(std::move(p))
    {
    }
    QString user() const override { return u_; }
    QString pwd() const override { return p_; }
    QString urlVar(const QString &name) const override { return vars.value(name); }
    bool closed() const override { return false; }
    void touch() override { ++touches; }

    QHash<QString, QString> vars;
    int touches = 0;

private:
    QString u_, p_;
};

// A temporary folder with helpers to lay out files below it.
class DiskTree {
public:
    DiskTree() { EXPECT_TRUE(dir_.isValid()); }
    QString path() const { return dir_.path(); }
    QString path(const QString &rel) const { return dir_.path() + u'/' + rel; }
    void file(const QString &rel, const QByteArray &content = "x")
    {
        const QString p = path(rel);
        QDir().mkpath(p.left(p.lastIndexOf(u'/')));
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(p);
        f.write(content);
    }
    void folder(const QString &rel) { ASSERT_TRUE(QDir().mkpath(path(rel))); }

private:
    QTemporaryDir dir_;
};

// The names of a node's children in tree order.
inline QStringList childNames(const Tfile *f)
{
    QStringList names;
    for (const TfilePtr &c : f->children())
        names << c->name;
    return names;
}
