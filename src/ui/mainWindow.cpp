#include "ui/mainWindow.h"
#include "ui/valuePrompts.h"
#include "ui/templateCommands.h"
#include "ui/smallDialogs.h"
#include "ui/optionsDialogAddress2namePage.h"
#include "ui/optionsDialog.h"

#include "app/program.h"
#include "app/serverSwitch.h"
#include "app/statsWiring.h"
#include "config/config.h"
#include "config/options.h"
#include "config/version.h"
#include "http/httpSrv.h"
#include "serve/connCommands.h"
#include "serve/serve.h"
#include "ui/connectionMenu.h"
#include "ui/connectionsView.h"
#include "ui/graphView.h"
#include "ui/altKeyMenu.h"
#include "ui/closing.h"
#include "ui/logMenu.h"
#include "ui/logSearchBar.h"
#include "ui/logView.h"
#include "ui/mainMenu.h"
#include "ui/propertiesDialog.h"
#include "ui/statusPanels.h"
#include "util/prompt.h"
#include "vfs/vfsStore.h"
#include "ui/vfsTreeView.h"
#include "vfs/vfs.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A view with its title above it.
QWidget *titled(const QString &title, QWidget *view)
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(new QLabel(title));
    layout->addWidget(view);
    return box;
}

} // namespace

QString mainWindowCaption()
{
    return QStringLiteral("ZOF ~ Quillet ") + zofVersion();
}

QString applicationTitle()
{
    return QStringLiteral("ZOF ") + zofVersion();
}

TmainWindow::TmainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(mainWindowCaption());
    setObjectName(QStringLiteral("mainWindow"));
    buildToolbar();
    buildViews();
    menu = new QMenu(this);
    bindMenu(menu, mainMenuEntries(), [this] { return expert(); });
    bindShortcuts(this, mainMenuEntries(), [this] { return expert(); });
    auto popUpMenu = [this] { menu->popup(menuButton->mapToGlobal(QPoint(0, menuButton->height()))); };
    connect(new QShortcut(QKeySequence(Qt::Key_F10), this), &QShortcut::activated, this, popUpMenu);
    new TaltKeyMenu(this, popUpMenu);
    setExpert(!opts().easy);
    refreshCaptions();
    refreshUrl();
}

TmainWindow::~TmainWindow()
{
    statusBarOutlet() = nullptr;
}

void TmainWindow::banAddress(const QString &address)
{
    activateWindow();
    banPrompt(address, prompt(), opts(), serveExists() ? &serve().srv() : nullptr);
    connView->refreshSoon();
}

TlogMenuHooks TmainWindow::logMenuHooks()
{
    TlogMenuHooks h;
    h.banAddress = [this](const QString &a) { banAddress(a); };
    h.assignNames = [this] {
        if (ToptionsDialog *d = showOptionsDialog(this, OP_ADDRESS2NAME))
            d->address2name->focusAddress(logView->caretLineAddress());
    };
    h.addressesEver = [] {
        addressesWindow().refresh();
        addressesWindow().show();
        addressesWindow().raise();
    };
    return h;
}

// A menu of `entries` at `pos`, filled as it opens.
void TmainWindow::popupEntries(const QList<TmenuEntry> &entries, const QPoint &pos)
{
    QMenu popup(this);
    bindMenu(&popup, entries, [this] { return expert(); });
    popup.exec(pos);
}

void TmainWindow::buildToolbar()
{
    QToolBar *bar = addToolBar(QStringLiteral("toolbar"));
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setMovable(false);
    menuButton = new QToolButton;
    menuButton->setText(QStringLiteral("Menu"));
    menuButton->setToolTip(QStringLiteral("Hit ALT or F10 to pop it up"));
    connect(menuButton, &QToolButton::clicked, this,
            [this] { menu->popup(menuButton->mapToGlobal(QPoint(0, menuButton->height()))); });
    bar->addWidget(menuButton);

    portButton = new QPushButton;
    connect(portButton, &QPushButton::clicked, this, [this] {
        portPrompt();
        refreshCaptions();
    });
    bar->addWidget(portButton);
    modeButton = new QPushButton;
    modeButton->setToolTip(QStringLiteral("Click to switch\nF5 on keyboard"));
    connect(modeButton, &QPushButton::clicked, this, [this] { setExpert(!expert()); });
    bar->addWidget(modeButton);
    serverButton = new QPushButton(QStringLiteral("Server is currently OFF"));
    serverButton->setObjectName(QStringLiteral("serverButton"));
    connect(serverButton, &QPushButton::clicked, this, [this] {
        toggleServer();
        refreshCaptions();
    });
    bar->addWidget(serverButton);

    abortAddingButton = new QPushButton(QStringLiteral("Abort file addition"));
    connect(abortAddingButton, &QPushButton::clicked, this, [] { Tvfs::instance().adding().abortRequested = true; });
    restoreOptionsButton = new QPushButton(QStringLiteral("Restore my options"));
    connect(restoreOptionsButton, &QPushButton::clicked, this, [this] {
        cfg().restoreOptions();
        refreshCaptions();
    });
    updateNowButton = new QPushButton(QStringLiteral("Update now"));
    for (QPushButton *b : {abortAddingButton, restoreOptionsButton, updateNowButton}) {
        b->setVisible(false);
        bar->addWidget(b);
    }

    // The URL bar.
    QToolBar *urlBar = new QToolBar(QStringLiteral("url"));
    urlBar->setObjectName(QStringLiteral("urlBar"));
    urlBar->setMovable(false);
    addToolBarBreak();
    addToolBar(urlBar);
    auto *open = new QPushButton(QStringLiteral("Open in browser"));
    urlBar->addWidget(open);
    url = new QLineEdit;
    url->setReadOnly(true);
    url->setObjectName(QStringLiteral("urlBox"));
    urlBar->addWidget(url);
    copyUrlButton = new QPushButton(QStringLiteral("Copy to clipboard"));
    connect(copyUrlButton, &QPushButton::clicked, this, [this] {
        QApplication::clipboard()->setText(url->text());
        refreshCaptions();
    });
    urlBar->addWidget(copyUrlButton);
}

void TmainWindow::buildViews()
{
    treeView = new TvfsTreeView;
    treeView->setObjectName(QStringLiteral("vfsTree"));
    connect(treeView, &TvfsTreeView::focusedNodeChanged, this, &TmainWindow::refreshUrl);
    connect(treeView, &TvfsTreeView::propertiesRequested, this,
            [this](const QList<Tfile *> &nodes) { showPropertiesDialog(this, nodes); });
    logView = new TlogView;
    logView->setObjectName(QStringLiteral("logView"));
    connView = new TconnectionsView;
    connView->setObjectName(QStringLiteral("connectionsView"));
    graphView = new TgraphView;
    graphView->setObjectName(QStringLiteral("graphView"));

    rightSplitter = new QSplitter(Qt::Vertical);
    rightSplitter->addWidget(logViewPanel(logView));
    rightSplitter->addWidget(connView);
    filesSplitter = new QSplitter(Qt::Horizontal);
    filesSplitter->addWidget(titled(QStringLiteral("Virtual File System"), treeView));
    filesSplitter->addWidget(rightSplitter);
    filesSplitter->setStretchFactor(1, 2);

    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(filesSplitter, 1);
    layout->addWidget(graphView);
    setCentralWidget(central);
    statusBar()->setObjectName(QStringLiteral("statusBar"));
    panels = new TstatusBarPanels(statusBar());
    panels->clicks.saveTree = [] { TvfsStore::instance().saveVFS(); };
    panels->clicks.bans = [this] { showOptionsDialog(this, OP_BANS); };
    panels->clicks.template_ = [] { editTemplate(); };
    panels->clicks.outOfSpace = [] { askMinDiskSpace(); };
    panels->clicks.speedLimit = [] { askSpeedLimit(false); };
    statusBarOutlet() = [this](const QList<TstatusPanel> &p) { panels->show(p); };

    logView->contextMenuRequested = [this](const QPoint &pos) {
        popupEntries(logMenuEntries(logView, logMenuHooks()), pos);
    };
    connView->contextMenuRequested = [this](const QPoint &pos) {
        popupEntries(connectionMenuEntries(connView, [this](const QString &a) { banAddress(a); }), pos);
    };
}

bool TmainWindow::expert() const
{
    return !opts().easy;
}

void TmainWindow::setExpert(bool on)
{
    opts().easy = !on;
    modeButton->setText(on ? QStringLiteral("You are in Expert mode") : QStringLiteral("You are in Easy mode"));
    graphView->followMode(on);
    refreshCaptions();
}

void TmainWindow::refreshCaptions()
{
    const bool listening = serverListening();
    QString port = opts().port;
    if (listening && serveExists())
        port = serve().srv().port();
    portButton->setText(QStringLiteral("Port: %1").arg(port.isEmpty() ? QStringLiteral("any") : port));
    serverButton->setText(listening ? QStringLiteral("Server is currently ON") : QStringLiteral("Server is currently OFF"));
    serverButton->setToolTip(listening ? QStringLiteral("Click to switch OFF\nF4 on keyboard")
                                       : QStringLiteral("Click to switch ON\nF4 on keyboard"));
    abortAddingButton->setVisible(Tvfs::instance().adding().running());
    restoreOptionsButton->setVisible(cfg().isTemporarilyReset());
    const bool inClipboard = !url->text().isEmpty() && QApplication::clipboard()->text() == url->text();
    copyUrlButton->setText(inClipboard ? QStringLiteral("Already in clipboard") : QStringLiteral("Copy to clipboard"));
}

void TmainWindow::refreshUrl()
{
    const Tfile *focused = treeView->focusedNode();
    url->setText((focused ? focused : Tvfs::instance().root())->fullURL());
}

QList<TmenuEntry> TmainWindow::mainMenuEntries()
{
    return buildMainMenu(*this, [this] { return logMenuEntries(logView, logMenuHooks()); });
}

void TmainWindow::closeEvent(QCloseEvent *event)
{
    Tprogram *p = Tprogram::instance();
    if (!p || p->closing()) {
        event->accept();
        return;
    }
    // The program closes through its own sequence; the window goes with it.
    event->ignore();
    requestClose(*p);
}
