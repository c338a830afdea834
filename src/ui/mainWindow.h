#pragma once
// The operator's main window: the toolbar, the URL bar, the tree, the log,
// the connections, the graph and the status bar. It shows the program's
// state and hands every command to the operations layer, the options or
// the server; what a view shows is that view's own class.
#include "ui/menuTable.h"

#include <QMainWindow>
#include <QPointer>

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSplitter;
class QToolButton;
class TconnectionsView;
class TgraphView;
class TlogView;
class TvfsTreeView;
class TstatusBarPanels;
struct TlogMenuHooks;

class TmainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit TmainWindow(QWidget *parent = nullptr);
    ~TmainWindow() override;

    TvfsTreeView *tree() const { return treeView; }
    TlogView *log() const { return logView; }
    TconnectionsView *connections() const { return connView; }
    TgraphView *graph() const { return graphView; }
    QMenu *mainMenu() const { return menu; }
    QLineEdit *urlBox() const { return url; }

    bool expert() const;
    // The mode switch: the option, the captions, the graph, the menus.
    void setExpert(bool on);

    // The captions that follow the program's state (server, port, mode,
    // the buttons shown only when needed, the clipboard button); the
    // heartbeat calls it once a second.
    void refreshCaptions();
    // The URL of the focused node, else of the root.
    void refreshUrl();

    // The main menu's table (rebuilt when the window needs it).
    QList<TmenuEntry> mainMenuEntries();

    // The ban prompt for an address (connection list, log), then a refresh.
    void banAddress(const QString &address);
    TstatusBarPanels *statusPanels() const { return panels; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildToolbar();
    void buildViews();
    TlogMenuHooks logMenuHooks();
    void popupEntries(const QList<TmenuEntry> &entries, const QPoint &pos);

    QMenu *menu = nullptr;
    QToolButton *menuButton = nullptr;
    QPushButton *portButton = nullptr;
    QPushButton *modeButton = nullptr;
    QPushButton *serverButton = nullptr;
    QPushButton *abortAddingButton = nullptr;
    QPushButton *restoreOptionsButton = nullptr;
    QPushButton *updateNowButton = nullptr;
    QPushButton *copyUrlButton = nullptr;
    QLineEdit *url = nullptr;
    QSplitter *filesSplitter = nullptr;
    QSplitter *rightSplitter = nullptr;
    TvfsTreeView *treeView = nullptr;
    TlogView *logView = nullptr;
    TconnectionsView *connView = nullptr;
    TgraphView *graphView = nullptr;
    TstatusBarPanels *panels = nullptr;
};

// The window's caption and the application's title.
QString mainWindowCaption();
QString applicationTitle();
