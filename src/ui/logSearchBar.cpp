#include "ui/logSearchBar.h"

#include "config/options.h"
#include "log/logSearch.h"
#include "ui/logView.h"
#include "util/prompt.h"

#include <QDesktopServices>
#include <QDir>
#include <QTemporaryFile>
#include <QUrl>

#include <QHBoxLayout>
#include <algorithm>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The text in a temporary ".txt" file, opened with the desktop's editor.
void openLogTextInEditor(const QString &text)
{
    QTemporaryFile f(QDir(QDir::tempPath()).filePath(QStringLiteral("zof-log-XXXXXX.txt")));
    f.setAutoRemove(false);
    const QByteArray bytes = text.toUtf8();
    if (!f.open() || f.write(bytes) != bytes.size() || !f.flush()) {
        prompt().message(QStringLiteral("Cannot save temporary file"), PK_ERROR);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(f.fileName()));
}

} // namespace

TlogSearchBar::TlogSearchBar(TlogView *viewIn, QWidget *parent)
    : QWidget(parent), view(viewIn)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("Search")));
    edit = new QLineEdit;
    edit->setObjectName(QStringLiteral("logSearchBox"));
    edit->setPlaceholderText(QStringLiteral("Wildcards allowed"));
    edit->setToolTip(QStringLiteral("Wildcards allowed"));
    row->addWidget(edit, 1);
    auto *up = new QToolButton;
    up->setArrowType(Qt::UpArrow);
    up->setObjectName(QStringLiteral("logSearchUp"));
    auto *down = new QToolButton;
    down->setArrowType(Qt::DownArrow);
    down->setObjectName(QStringLiteral("logSearchDown"));
    row->addWidget(up);
    row->addWidget(down);
    auto *copyAll = new QToolButton;
    copyAll->setText(QStringLiteral("Copy to editor"));
    copyAll->setToolTip(QStringLiteral("Copy to editor"));
    copyMatching = new QToolButton;
    copyMatching->setText(QStringLiteral("Copy matched"));
    copyMatching->setToolTip(QStringLiteral("Copy to editor only lines matched by the search pattern"));
    copyMatching->setEnabled(false);
    row->addWidget(copyAll);
    row->addWidget(copyMatching);
    openInEditor = &openLogTextInEditor;
    connect(copyAll, &QToolButton::clicked, this, [this] { copyToEditor(false); });
    connect(copyMatching, &QToolButton::clicked, this, [this] { copyToEditor(true); });
    connect(edit, &QLineEdit::textChanged, this, [this](const QString &t) { copyMatching->setEnabled(!t.isEmpty()); });

    typing.setSingleShot(true);
    unpink.setSingleShot(true);
    unpink.setInterval(pinkMs);
    connect(&unpink, &QTimer::timeout, this, [this] { setPink(false); });
    connect(&typing, &QTimer::timeout, this, [this] { searchNow(0); });
    connect(edit, &QLineEdit::textEdited, this, [this] { typing.start(typingDelayMs()); });
    connect(edit, &QLineEdit::returnPressed, this, [this] { searchNow(-1); });
    connect(up, &QToolButton::clicked, this, [this] { searchNow(-1); });
    connect(down, &QToolButton::clicked, this, [this] { searchNow(+1); });
}

int TlogSearchBar::typingDelayMs() const
{
    return int(std::min<qint64>(2 * view->lastSearchMs(), 2000));
}

void TlogSearchBar::copyToEditor(bool onlyMatching)
{
    const QString all = view->toPlainText();
    const QString text = onlyMatching ? logLinesMatching(all, edit->text()) : all;
    if (text.isEmpty()) {
        prompt().message(QStringLiteral("It's empty"), PK_WARNING);
        return;
    }
    if (openInEditor)
        openInEditor(text);
}

bool TlogSearchBar::searchNow(int direction)
{
    typing.stop();
    const bool found = view->search(edit->text(), direction);
    setPink(!found);
    return found;
}

void TlogSearchBar::setPink(bool on)
{
    pink = on;
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, on ? QColor(255, 192, 203) : palette().color(QPalette::Base));
    edit->setPalette(p);
    if (on)
        unpink.start();
    else
        unpink.stop();
}

QWidget *logViewPanel(TlogView *view)
{
    auto *panel = new QWidget;
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto *head = new QHBoxLayout;
    head->addWidget(new QLabel(QStringLiteral("Log")));
    auto *bar = new TlogSearchBar(view);
    bar->setObjectName(QStringLiteral("logSearchBar"));
    auto *toggle = new QToolButton;
    toggle->setObjectName(QStringLiteral("logToolbarToggle"));
    const auto show = [bar, toggle](bool expanded) {
        bar->setVisible(expanded);
        toggle->setArrowType(expanded ? Qt::LeftArrow : Qt::RightArrow);
        toggle->setToolTip(expanded ? QStringLiteral("Collapse toolbar") : QStringLiteral("Expand toolbar"));
    };
    show(opts().logToolbarExpanded);
    QObject::connect(toggle, &QToolButton::clicked, bar, [show] {
        opts().logToolbarExpanded = !opts().logToolbarExpanded;
        show(opts().logToolbarExpanded);
    });
    head->addWidget(toggle);
    head->addWidget(bar, 1);
    layout->addLayout(head);
    layout->addWidget(view, 1);
    return panel;
}
