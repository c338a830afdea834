#pragma once
// The options the operator edits in the options window, as working copies:
// loaded from the live options and accounts, checked, and saved back as a
// whole. The window only shows and edits these rows.
#include "config/iconMask.h"
#include "vfs/account.h"

#include <QList>
#include <QString>
#include <QStringList>

struct Toptions;
class Tvfs;

struct TbanRow
{
    QString mask, comment;
};

struct TnameRow
{
    QString name, mask;
};

struct ToptionsCopy
{
    QList<TbanRow> bans;
    bool noReplyBan = false;
    Taccounts accounts; // each one's wasUser set to its name when loaded
    QStringList mimeTypes; // flat pairs: mask, type (stored ones, then missing built-in ones)
    bool inBrowserIfMime = false;
    QString trayMessage; // lines separated by "\n"
    QList<TnameRow> address2name;
    QList<TiconMask> iconMasks;

    static ToptionsCopy load(const Toptions &o, const Taccounts &live);

    // The checks run before saving, in order; the first failure's message,
    // or empty. Address-name rows with an empty name and mask are deleted on
    // the way (that is part of the check).
    QString check();
    // The tree's permission lists that would name only missing accounts once
    // these accounts are saved (renames carried): "node url (list)" texts.
    QStringList orphanedPermissions(const Tvfs &tree) const;
    // Writes everything back (rows with an empty mask dropped), replaces the
    // accounts and carries renames and deletions into the tree.
    void save(Toptions &o, Taccounts &live, Tvfs &tree) const;
};

// Ban masks compared piece by piece between dots: numerically when both
// pieces are whole numbers, otherwise shorter first, then by text.
int compareBanMasks(const QString &a, const QString &b);
void sortBanRows(QList<TbanRow> &rows);

// "new user", else "new user (2)", "new user (3)"... the first free name.
QString newAccountName(const Taccounts &accounts);
// Sorts by name without regard to case: ascending, or descending when the
// list already was ascending.
void sortAccounts(QList<Taccount> &list);
// The names of `links` that are not accounts (nor groups) of `accounts`.
QStringList missingLinkedUsers(const Taccounts &accounts, const QStringList &links);
// The account checks run when saving: name, uniqueness, password. Empty when fine.
QString checkAccount(const Taccounts &accounts, const Taccount &a);

// What an account can reach among protected nodes: one line per node whose
// access, delete or upload list names "@any account", the account or one of
// its groups: "name [Access, Delete via staff]".
struct TprotectedResource
{
    class Tfile *node;
    QString text;
};
QList<TprotectedResource> protectedResources(const Tvfs &tree, const Taccounts &accounts, const Taccount &a);

inline const QString MSG_BAN_DUPLICATED = QStringLiteral("Bans: \"%1\" is duplicated");
inline const QString MSG_BAN_SYNTAX = QStringLiteral("Bans: syntax error for \"%1\"");
inline const QString MSG_ADDRESS2NAME_SYNTAX = QStringLiteral("Address2name: syntax error for \"%1\"");
inline const QString MSG_MISSING_LINKS =
    QStringLiteral("Cannot find these linked usernames: %1\rThis is abnormal, but you may add them later.");
inline const QString MSG_ORPHANED_PERMISSIONS = QStringLiteral(
    "These permissions would name no existing account and would stay as they are, matching nobody:\r%1\r\rSave anyway?");

// The user and password window's checks on its (already trimmed) boxes, in
// order; empty when accepted. An empty user with an empty password clears the pair.
QString checkCredentials(const QString &user, const QString &pwd, const QString &pwd2);
inline const QString MSG_USER_MANDATORY = QStringLiteral("User is mandatory");
inline const QString MSG_PASSWORDS_DIFFER = QStringLiteral("The two passwords you entered don't match");
