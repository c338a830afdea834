#include "ui/propertiesDialog.h"

#include "config/options.h"
#include "serve/icons.h"
#include "ui/optionsDialog.h"
#include "ui/propertiesDialogPermissions.h"
#include "ui/vfsTreeView.h"
#include "util/prompt.h"
#include "vfs/treeEdit.h"
#include "vfs/vfs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QPointer>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

QString TpropertyText::text() const
{
    if (auto *l = qobject_cast<QLineEdit *>(box))
        return l->text();
    return static_cast<QPlainTextEdit *>(box)->toPlainText();
}

void TpropertyText::setText(const QString &t) const
{
    if (auto *l = qobject_cast<QLineEdit *>(box))
        l->setText(t);
    else
        static_cast<QPlainTextEdit *>(box)->setPlainText(t);
}

QString propertiesTitle(const QList<Tfile *> &nodes)
{
    QStringList names;
    for (int i = 0; i < qMin<qsizetype>(2, nodes.size()); ++i)
        names += nodes.at(i)->name;
    return QStringLiteral("Properties for ") + names.join(QStringLiteral(", "))
           + (nodes.size() > 2 ? QStringLiteral(", ...") : QString());
}

TpropertiesDialog::TpropertiesDialog(QWidget *parent, const QList<Tfile *> &nodesIn, Tprompt *ask)
    : QDialog(parent), nodes(nodesIn), askIn(ask)
{
    setObjectName(QStringLiteral("propertiesDialog"));
    setWindowTitle(propertiesTitle(nodes));
    const bool easy = opts().easy;
    bool anyFolder = false, anyRealFolder = false;
    for (const Tfile *f : nodes) {
        anyFolder = anyFolder || f->isFolder();
        anyRealFolder = anyRealFolder || f->isRealFolder();
    }

    pages = new QTabWidget;
    // Pages not offered stay out of sight (their fields still load, unchanged).
    const auto offer = [this](QWidget *page, const QString &caption, bool shown) {
        if (shown) {
            pages->addTab(page, caption);
        } else {
            page->setParent(this);
            page->hide();
        }
    };
    // Permissions: the access tab always, delete with a folder, upload with a real folder.
    permissionTabs = new QTabWidget;
    const bool offered[3] = {true, anyFolder, anyRealFolder};
    const char *captions[3] = {"Access", "Delete", "Upload"};
    for (int a = 0; a < 3; ++a) {
        if (!offered[a])
            continue;
        permissions[a] = new TpermissionsTab(ask);
        permissions[a]->manageAccounts = [this] { showOptionsDialog(this, OP_ACCOUNTS); };
        permissionTabs->addTab(permissions[a], QLatin1String(captions[a]));
    }
    pages->addTab(permissionTabs, QStringLiteral("Permissions"));

    // Flags.
    auto *flagsPage = new QWidget;
    auto *flagsLayout = new QVBoxLayout(flagsPage);
    const auto flag = [&](TnodeProperty p, TfileAttribute att, const char *caption, bool expertOnly) {
        auto *b = new QCheckBox(QLatin1String(caption));
        b->setVisible(!(expertOnly && easy));
        flagsLayout->addWidget(b);
        flags += Tflag{p, att, b, expertOnly && easy};
        return b;
    };
    hiddenBox = flag(NP_HIDDEN, FA_HIDDEN, "Hidden", false);
    hiddenTreeBox = flag(NP_HIDDEN_TREE, FA_HIDDENTREE, "Recursively  hidden", false);
    hideExtBox = flag(NP_HIDE_EXT, FA_HIDE_EXT, "Hide file extension in listing", true);
    hideEmptyBox = flag(NP_HIDE_EMPTY_FOLDERS, FA_HIDE_EMPTY_FOLDERS, "Auto-hide empty folders", false);
    browsableBox = flag(NP_BROWSABLE, FA_BROWSABLE, "Browsable", true);
    archivableBox = flag(NP_ARCHIVABLE, FA_ARCHIVABLE, "Archivable", false);
    dontCountBox = flag(NP_DONT_COUNT_AS_DL, FA_DONT_COUNT_AS_DL, "Don't consider as download", true);
    dontLogBox = flag(NP_DONT_LOG, FA_DONT_LOG, "Don't log", true);
    noDownloadBox = flag(NP_DL_FORBIDDEN, FA_DL_FORBIDDEN, "No download", false);
    flagsLayout->addStretch();
    pages->addTab(flagsPage, QStringLiteral("Flags"));

    const auto text = [this](TnodeProperty p, QString Tfile::*field, QWidget *box) {
        texts += TpropertyText{p, field, box, QString()};
    };
    diffTplBox = new QPlainTextEdit;
    text(NP_DIFF_TPL, &Tfile::diffTpl, diffTplBox);
    offer(diffTplBox, QStringLiteral("Diff template"), anyFolder);
    commentBox = new QPlainTextEdit;
    text(NP_COMMENT, &Tfile::comment, commentBox);
    offer(commentBox, QStringLiteral("Comment"), !easy);

    auto *masksPage = new QWidget;
    auto *masks = new QFormLayout(masksPage);
    filesFilterBox = new QLineEdit;
    foldersFilterBox = new QLineEdit;
    defaultFileMaskBox = new QLineEdit;
    dontCountMaskBox = new QLineEdit;
    uploadFilterBox = new QLineEdit;
    masks->addRow(QStringLiteral("Files filter"), filesFilterBox);
    masks->addRow(QStringLiteral("Folders filter"), foldersFilterBox);
    masks->addRow(QStringLiteral("Default file mask"), defaultFileMaskBox);
    masks->addRow(QStringLiteral("Don't consider as download (mask)"), dontCountMaskBox);
    masks->addRow(QStringLiteral("Upload filter mask"), uploadFilterBox);
    text(NP_FILES_FILTER, &Tfile::filesFilter, filesFilterBox);
    text(NP_FOLDERS_FILTER, &Tfile::foldersFilter, foldersFilterBox);
    text(NP_DEFAULT_FILE_MASK, &Tfile::defaultFileMask, defaultFileMaskBox);
    text(NP_DONT_COUNT_AS_DL_MASK, &Tfile::dontCountAsDownloadMask, dontCountMaskBox);
    text(NP_UPLOAD_FILTER_MASK, &Tfile::uploadFilterMask, uploadFilterBox);
    offer(masksPage, QStringLiteral("File masks"), anyFolder && !easy);

    auto *otherPage = new QWidget;
    auto *other = new QFormLayout(otherPage);
    realmBox = new QLineEdit(otherPage);
    text(NP_REALM, &Tfile::realm, realmBox);
    if (!easy)
        other->addRow(QStringLiteral("Realm"), realmBox);
    else
        realmBox->hide(); // kept unshown: nothing written
    iconBox = new QComboBox;
    iconBox->addItem(QStringLiteral("Default"), -1);
    initServeResources();
    for (int i = 0; i < builtinIconCount(); ++i) {
        QPixmap p;
        p.loadFromData(iconGif(i));
        iconBox->addItem(QIcon(p), QString::number(i), i);
    }
    auto *iconRow = new QHBoxLayout;
    iconRow->addWidget(iconBox);
    other->addRow(QStringLiteral("Icon"), iconRow);
    pages->addTab(otherPage, QStringLiteral("Other"));

    okButton = new QPushButton(QStringLiteral("&OK"));
    cancelButton = new QPushButton(QStringLiteral("Cancel"));
    applyButton = new QPushButton(QStringLiteral("&Apply"));
    connect(okButton, &QPushButton::clicked, this, [this] {
        apply();
        accept();
    });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(applyButton, &QPushButton::clicked, this, &TpropertiesDialog::apply);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    buttons->addWidget(applyButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addLayout(buttons);
    resize(560, 420);
    load();
}

bool TpropertiesDialog::appliesToAny(TnodeProperty p) const
{
    return std::any_of(nodes.cbegin(), nodes.cend(), [p](const Tfile *f) { return propertyApplies(p, *f); });
}

void TpropertiesDialog::loadText(TpropertyText &t)
{
    QStringList values;
    for (const Tfile *f : nodes)
        if (propertyApplies(t.property, *f) && !values.contains(f->*t.field))
            values += f->*t.field;
    t.shown = values.size() > 1 ? MORE_VALUES : values.value(0);
    t.setText(t.shown);
    t.box->setToolTip(values.size() > 1 ? values.join(u'\n') : QString());
    t.box->setEnabled(!values.isEmpty());
}

void TpropertiesDialog::loadFlag(const Tflag &fl)
{
    int on = 0, applies = 0;
    for (const Tfile *f : nodes)
        if (propertyApplies(fl.property, *f)) {
            ++applies;
            on += f->flags.has(fl.attribute) ? 1 : 0;
        }
    const Qt::CheckState s = on == 0 ? Qt::Unchecked : (on == applies ? Qt::Checked : Qt::PartiallyChecked);
    fl.box->setTristate(s == Qt::PartiallyChecked);
    fl.box->setCheckState(s);
    fl.box->setEnabled(applies > 0);
}

void TpropertiesDialog::load()
{
    for (TpropertyText &t : texts)
        loadText(t);
    for (const Tflag &f : flags)
        loadFlag(f);
    for (int a = 0; a < 3; ++a) {
        if (!permissions[a])
            continue;
        QList<QStringList> lists;
        for (const Tfile *f : nodes)
            if (propertyApplies(TnodeProperty(NP_ACCESS_LIST + a), *f))
                lists += f->accounts[a];
        permissions[a]->load(lists);
    }
    QList<int> icons;
    for (const Tfile *f : nodes)
        if (propertyApplies(NP_ICON, *f) && !icons.contains(f->icon))
            icons += f->icon;
    shownIcon = icons.size() == 1 ? icons.first() : -2;
    const int i = iconBox->findData(shownIcon);
    iconBox->setCurrentIndex(i >= 0 ? i : -1);
    iconBox->setEnabled(!icons.isEmpty());
}

TnodeProperties TpropertiesDialog::changes() const
{
    TnodeProperties p;
    for (const TpropertyText &t : texts) {
        if (!t.box->isEnabled() || t.text() == t.shown)
            continue;
        std::optional<QString> *slot = nullptr;
        switch (t.property) {
        case NP_COMMENT: slot = &p.comment; break;
        case NP_REALM: slot = &p.realm; break;
        case NP_DIFF_TPL: slot = &p.diffTpl; break;
        case NP_FILES_FILTER: slot = &p.filesFilter; break;
        case NP_FOLDERS_FILTER: slot = &p.foldersFilter; break;
        case NP_DEFAULT_FILE_MASK: slot = &p.defaultFileMask; break;
        case NP_DONT_COUNT_AS_DL_MASK: slot = &p.dontCountAsDownloadMask; break;
        case NP_UPLOAD_FILTER_MASK: slot = &p.uploadFilterMask; break;
        default: break;
        }
        if (slot)
            *slot = t.text();
    }
    for (const Tflag &f : flags) {
        // Mixed, disabled or hidden boxes leave every node as it is.
        if (f.box->checkState() == Qt::PartiallyChecked || !f.box->isEnabled() || f.hidden)
            continue;
        const bool on = f.box->checkState() == Qt::Checked;
        std::optional<bool> *slot = nullptr;
        switch (f.property) {
        case NP_HIDDEN: slot = &p.hidden; break;
        case NP_HIDDEN_TREE: slot = &p.hiddenTree; break;
        case NP_HIDE_EXT: slot = &p.hideExt; break;
        case NP_HIDE_EMPTY_FOLDERS: slot = &p.hideEmptyFolders; break;
        case NP_BROWSABLE: slot = &p.browsable; break;
        case NP_ARCHIVABLE: slot = &p.archivable; break;
        case NP_DONT_COUNT_AS_DL: slot = &p.dontCountAsDownload; break;
        case NP_DONT_LOG: slot = &p.dontLog; break;
        case NP_DL_FORBIDDEN: slot = &p.downloadForbidden; break;
        default: break;
        }
        if (slot)
            *slot = on;
    }
    for (int a = 0; a < 3; ++a)
        if (permissions[a] && permissions[a]->changed())
            p.accounts[a] = permissions[a]->names();
    const int icon = iconBox->currentData().isValid() ? iconBox->currentData().toInt() : -2;
    if (iconBox->isEnabled() && icon != -2 && icon != shownIcon)
        p.icon = icon;
    return p;
}

void TpropertiesDialog::apply()
{
    TtreeEditor editor(Tvfs::instance(), askIn ? *askIn : prompt());
    editor.setProperties(nodes, changes());
    load();
}

void endTreeRename(TvfsTreeView *tree)
{
    if (!tree || !tree->editingName())
        return;
    // The view finds the item from the editor itself.
    QLineEdit *editor = tree->viewport()->findChild<QLineEdit *>();
    QAbstractItemDelegate *delegate = tree->itemDelegate();
    if (!editor || !delegate)
        return;
    Q_EMIT delegate->commitData(editor);
    Q_EMIT delegate->closeEditor(editor);
}

void showPropertiesDialog(QWidget *parent, const QList<Tfile *> &nodes)
{
    if (nodes.isEmpty())
        return;
    TpropertiesDialog d(parent, nodes);
    // A rename left open in the tree would otherwise wait behind the window.
    QPointer<TvfsTreeView> tree = parent ? parent->window()->findChild<TvfsTreeView *>() : nullptr;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &d, [tree] { endTreeRename(tree); });
    timer.start(1000);
    d.exec();
}
