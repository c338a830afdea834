#pragma once

// User accounts and groups, and the ordered list the program keeps of them.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Special names usable in any permission list of a node.
inline constexpr QStringView USER_ANONYMOUS = u"@anonymous";
inline constexpr QStringView USER_ANYONE = u"@anyone";
inline constexpr QStringView USER_ANY_ACCOUNT = u"@any account";

struct Taccount {
    QString user;    // unique without regard to ASCII case
    QString pwd;     // compared exactly
    QString redir;   // where to go after login; inherited from groups
    QString notes;
    QString wasUser; // name when the editor opened: carries renames into the tree
    bool enabled = true;
    bool noLimits = false; // inherited from groups
    bool group = false;
    QStringList link; // groups (or accounts) this record is a member of
};

// Editor messages.
inline const QString MSG_USERNAME_USED = QStringLiteral("Username already used");
inline const QString MSG_INVALID_USERNAME = QStringLiteral("Invalid username");
QString invalidPasswordMessage();

// Name rules: non-empty, at most 40 characters, none of / \ : ? * < > | ; & "
// nor a macro marker nor a control character. A password obeys the same rules
// but may be empty.
bool validUsername(const QString &name, bool acceptEmpty = false);
inline bool validPassword(const QString &pwd) { return validUsername(pwd, true); }

class Taccounts {
public:
    // The program's own list (owned by the application, kept by the
    // configuration).
    static Taccounts &global();

    QList<Taccount> list; // configuration order

    // First account named `name` (ASCII case folded); a group only with evenGroups.
    // The pointer is valid until the list changes.
    const Taccount *getAccount(const QString &name, bool evenGroups = false) const;
    Taccount *getAccount(const QString &name, bool evenGroups = false);
    bool accountExists(const QString &name, bool evenGroups = false) const
    {
        return getAccount(name, evenGroups) != nullptr;
    }
    // The first of `account` and its groups (transitively, breadth-first,
    // skipping disabled records) that satisfies `test`.
    const Taccount *searchAccountAndGroups(const Taccount *account,
                                           const std::function<bool(const Taccount &)> &test) const;
    // Names of the users, of the groups, or both, in list order.
    QStringList accountNames(bool users, bool groups) const;

    // Editor check for a new or renamed record: empty when fine, else the
    // message to show. `self` is the record being edited (its own name is fine).
    QString checkNewName(const QString &name, const Taccount *self = nullptr) const;
    // Renames an account, carrying the new name into every record's links.
    bool rename(const QString &oldName, const QString &newName);
};

// Membership of a name in a permission list: linear, ASCII case folded
// (stored lists may be unsorted).
bool inList(const QString &name, const QStringList &list);
// Sorts a permission list without regard to case.
void sortAccountList(QStringList &list);
