#include "vfs/nodeProperties.h"

#include "vfs/account.h"
#include "vfs/treeEdit.h"
#include "vfs/vfs.h"

bool propertyApplies(TnodeProperty p, const Tfile &f)
{
    switch (p) {
    case NP_ACCESS_LIST:
    case NP_COMMENT:
    case NP_REALM:
        return true;
    case NP_DELETE_LIST:
    case NP_DIFF_TPL:
    case NP_FILES_FILTER:
    case NP_FOLDERS_FILTER:
    case NP_DEFAULT_FILE_MASK:
    case NP_DONT_COUNT_AS_DL_MASK:
    case NP_HIDDEN_TREE:
    case NP_HIDE_EXT:
    case NP_HIDE_EMPTY_FOLDERS:
    case NP_BROWSABLE:
    case NP_ARCHIVABLE:
        return f.isFolder();
    case NP_UPLOAD_LIST:
    case NP_UPLOAD_FILTER_MASK:
        return f.isRealFolder();
    case NP_DONT_COUNT_AS_DL:
        return f.isFile();
    case NP_HIDDEN:
    case NP_ICON:
        return !f.isRoot();
    case NP_DONT_LOG:
        return f.isFileOrFolder();
    case NP_DL_FORBIDDEN:
        return f.isFile() || f.isRealFolder();
    }
    return false;
}

namespace {

// Writes the fields of `p` that were changed and apply to `f`.
class Twriter {
public:
    Twriter(Tfile &f) : f_(f) {}

    template <typename T>
    void value(TnodeProperty p, const std::optional<T> &v, T &field)
    {
        if (v && propertyApplies(p, f_))
            field = *v;
    }
    void flag(TnodeProperty p, const std::optional<bool> &v, TfileAttribute att)
    {
        if (v && propertyApplies(p, f_))
            f_.flags.set(att, *v);
    }

private:
    Tfile &f_;
};

} // namespace

void TtreeEditor::setProperties(const QList<Tfile *> &selection, const TnodeProperties &p)
{
    bool any = false;
    for (Tfile *f : selection) {
        if (!f || f->isTemp() || f->vfs() != &vfs_)
            continue;
        any = true;
        const bool wasUploadFolder = !f->accounts[FA_UPLOAD].isEmpty();
        for (int a = 0; a < FA_ACTION_COUNT; ++a) {
            if (!p.accounts[a] || !propertyApplies(TnodeProperty(NP_ACCESS_LIST + a), *f))
                continue;
            QStringList list = *p.accounts[a];
            sortAccountList(list);
            f->accounts[a] = list;
        }
        // The free-space check watches the folders visitors upload to.
        const bool isUploadFolder = !f->accounts[FA_UPLOAD].isEmpty();
        if (wasUploadFolder != isUploadFolder && !f->resource.isEmpty()) {
            vfs_.uploadFolders.removeAll(f->resource);
            if (isUploadFolder)
                vfs_.uploadFolders << f->resource;
        }

        Twriter w(*f);
        w.value(NP_COMMENT, p.comment, f->comment);
        w.value(NP_REALM, p.realm, f->realm);
        w.value(NP_DIFF_TPL, p.diffTpl, f->diffTpl);
        w.value(NP_FILES_FILTER, p.filesFilter, f->filesFilter);
        w.value(NP_FOLDERS_FILTER, p.foldersFilter, f->foldersFilter);
        w.value(NP_DEFAULT_FILE_MASK, p.defaultFileMask, f->defaultFileMask);
        w.value(NP_DONT_COUNT_AS_DL_MASK, p.dontCountAsDownloadMask, f->dontCountAsDownloadMask);
        w.value(NP_UPLOAD_FILTER_MASK, p.uploadFilterMask, f->uploadFilterMask);
        w.value(NP_ICON, p.icon, f->icon);
        w.flag(NP_DONT_COUNT_AS_DL, p.dontCountAsDownload, FA_DONT_COUNT_AS_DL);
        w.flag(NP_HIDDEN_TREE, p.hiddenTree, FA_HIDDENTREE);
        w.flag(NP_HIDE_EXT, p.hideExt, FA_HIDE_EXT);
        w.flag(NP_HIDE_EMPTY_FOLDERS, p.hideEmptyFolders, FA_HIDE_EMPTY_FOLDERS);
        w.flag(NP_BROWSABLE, p.browsable, FA_BROWSABLE);
        w.flag(NP_ARCHIVABLE, p.archivable, FA_ARCHIVABLE);
        w.flag(NP_HIDDEN, p.hidden, FA_HIDDEN);
        w.flag(NP_DONT_LOG, p.dontLog, FA_DONT_LOG);
        w.flag(NP_DL_FORBIDDEN, p.downloadForbidden, FA_DL_FORBIDDEN);
    }
    if (any)
        vfs_.setModified(true);
}
