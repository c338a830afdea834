#pragma once
// The properties the operator edits on selected nodes: each field holds a
// value only when it was changed (a check box only when it was neither mixed,
// disabled nor hidden), and each applies to some kinds of node only.

#include "vfs/file.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

enum TnodeProperty : int {
    NP_ACCESS_LIST,
    NP_DELETE_LIST,
    NP_UPLOAD_LIST,
    NP_COMMENT,
    NP_REALM,
    NP_DONT_COUNT_AS_DL,
    NP_DIFF_TPL,
    NP_FILES_FILTER,
    NP_FOLDERS_FILTER,
    NP_DEFAULT_FILE_MASK,
    NP_DONT_COUNT_AS_DL_MASK,
    NP_HIDDEN_TREE,
    NP_HIDE_EXT,
    NP_HIDE_EMPTY_FOLDERS,
    NP_BROWSABLE,
    NP_ARCHIVABLE,
    NP_HIDDEN,
    NP_ICON,
    NP_UPLOAD_FILTER_MASK,
    NP_DONT_LOG,
    NP_DL_FORBIDDEN,
};

// Whether `p` means anything for `f` (the dialog enables a field when it
// applies to at least one selected node).
bool propertyApplies(TnodeProperty p, const Tfile &f);

struct TnodeProperties {
    std::array<std::optional<QStringList>, FA_ACTION_COUNT> accounts;
    std::optional<QString> comment, realm;
    std::optional<QString> diffTpl, filesFilter, foldersFilter, defaultFileMask, dontCountAsDownloadMask;
    std::optional<QString> uploadFilterMask;
    std::optional<int> icon;
    std::optional<bool> dontCountAsDownload, hiddenTree, hideExt, hideEmptyFolders, browsable, archivable;
    std::optional<bool> hidden, dontLog, downloadForbidden;
};
