#pragma once

// The users and passwords attached to nodes of the tree, so that the login
// check accepts them although no account has them.

#include <QList>
#include <QString>
#include <QStringList>

class TusersInVFS {
public:
    void reset();
    bool empty() const { return users_.isEmpty(); }
    // Registers one node's user and password (duplicates allowed).
    void track(const QString &usr, const QString &pwd);
    // Forgets one occurrence; the user goes when no password remains.
    void drop(const QString &usr, const QString &pwd);
    bool match(const QString &usr, const QString &pwd) const;

private:
    qsizetype indexOf(const QString &usr) const;

    struct Entry {
        QString user;
        QStringList pwds;
    };
    QList<Entry> users_;
};
