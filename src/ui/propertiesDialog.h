#pragma once
// The properties of the selected nodes: every field shows the value the
// nodes share, or "(more values)" (check boxes: the mixed state), and only
// the fields the operator changed are written back, through the tree's
// editing commands, to the nodes each applies to.
#include "vfs/nodeProperties.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class Tfile;
class Tprompt;
class TpermissionsTab;

inline const QString MORE_VALUES = QStringLiteral("(more values)");

// A text box over one text property of the selection.
struct TpropertyText
{
    TnodeProperty property;
    QString Tfile::*field;
    QWidget *box; // QLineEdit or QPlainTextEdit
    QString shown; // the text shown at loading
    QString text() const;
    void setText(const QString &t) const;
};

class TpropertiesDialog : public QDialog
{
    Q_OBJECT
public:
    TpropertiesDialog(QWidget *parent, const QList<Tfile *> &nodes, Tprompt *ask = nullptr);

    // Shows the nodes' values again (after an apply).
    void load();
    // Writes what was changed; "&OK" closes after it, "&Apply" stays.
    void apply();
    // What apply() would write now.
    TnodeProperties changes() const;

    QLineEdit *realmBox;
    QPlainTextEdit *commentBox, *diffTplBox;
    QLineEdit *filesFilterBox, *foldersFilterBox, *defaultFileMaskBox, *dontCountMaskBox, *uploadFilterBox;
    QCheckBox *hiddenBox, *hiddenTreeBox, *hideExtBox, *hideEmptyBox, *browsableBox, *archivableBox;
    QCheckBox *dontCountBox, *dontLogBox, *noDownloadBox;
    QComboBox *iconBox;
    QTabWidget *pages, *permissionTabs;
    TpermissionsTab *permissions[3] = {nullptr, nullptr, nullptr}; // by action; null when not offered
    QPushButton *okButton, *cancelButton, *applyButton;

private:
    struct Tflag
    {
        TnodeProperty property;
        TfileAttribute attribute;
        QCheckBox *box;
        bool hidden; // by the mode
    };
    bool appliesToAny(TnodeProperty p) const;
    void loadText(TpropertyText &t);
    void loadFlag(const Tflag &f);

    QList<Tfile *> nodes;
    Tprompt *askIn;
    QList<TpropertyText> texts;
    QList<Tflag> flags;
    int shownIcon = -2; // -2: mixed
};

class TvfsTreeView;
// Ends an in-place rename in `tree`, keeping what was typed (once a second
// while the properties window is open).
void endTreeRename(TvfsTreeView *tree);

// Runs the dialog on `nodes` (nothing happens for none).
void showPropertiesDialog(QWidget *parent, const QList<Tfile *> &nodes);
// "Properties for a, b, ...".
QString propertiesTitle(const QList<Tfile *> &nodes);
