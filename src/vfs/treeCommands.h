#pragma once
// Which commands the tree's menu offers, decided from the selection each
// time the menu opens.

#include <QList>
#include <QStringList>

#include <bitset>

class Tfile;
class Taccounts;

enum TtreeCommand : int {
    TC_ADD_FILES,
    TC_ADD_FOLDER,
    TC_NEW_FOLDER,
    TC_NEW_LINK,
    TC_REMOVE,
    TC_RENAME,
    TC_PASTE,
    TC_EDIT_RESOURCE,
    TC_COPY_URL,
    TC_COPY_URL_WITH_PASSWORD,
    TC_COPY_URL_OTHER_HOST,
    TC_COPY_URL_WITH_FINGERPRINT,
    TC_BROWSE,
    TC_SET_URL,
    TC_OPEN,
    TC_FLAG_NEW,
    TC_RESET_NEW,
    TC_SET_USER_PASS,
    TC_RESET_USER_PASS,
    TC_PURGE,
    TC_TO_VIRTUAL,
    TC_TO_REAL,
    TC_BIND_ROOT,
    TC_UNBIND_ROOT,
    TC_DEFAULT_ADD_POINT,
    TC_PROPERTIES,
    TC_COUNT
};
using TtreeCommands = std::bitset<TC_COUNT>;

// Everything the decision reads.
struct TtreeMenuState {
    QList<const Tfile *> selection;
    const Tfile *focused = nullptr;
    bool expert = false;
    qint64 newFlagMinutes = 0;   // files-stay-flagged-for-minutes
    bool clipboardHasFiles = false;
    int urlAddressCount = 0;     // addresses a URL may be built with
    QStringList passwordNames;   // passwordUrlNames() of the focused node
};

TtreeCommands offeredTreeCommands(const TtreeMenuState &s);

// The accounts whose URL-with-password the focused node offers: the names
// holding its delete, upload and access permissions, groups expanded into
// their members at any depth; special names give nothing. Sorted, once each.
QStringList passwordUrlNames(const Tfile &f, const Taccounts &accounts);
