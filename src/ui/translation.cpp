#include "ui/translation.h"

#include "log/log.h"

#include <QAbstractButton>
#include <QActionEvent>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTreeWidget>

QString TfileTranslator::translate(const char *, const char *sourceText, const char *, int) const
{
    if (!sourceText)
        return {};
    return file.translate(QString::fromUtf8(sourceText)).value_or(QString());
}

TwindowTranslation::TwindowTranslation(TlanguageFile fileIn, QObject *parent)
    : QObject(parent), file(std::move(fileIn)), translator(std::make_unique<TfileTranslator>(file))
{
}

TwindowTranslation::~TwindowTranslation()
{
    if (QCoreApplication *app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
        QCoreApplication::removeTranslator(translator.get());
    }
}

void TwindowTranslation::install()
{
    QCoreApplication::installTranslator(translator.get());
    qApp->installEventFilter(this);
    for (QWidget *w : QApplication::topLevelWidgets())
        translateWidget(w);
}

QString TwindowTranslation::tr1(const QString &text) const
{
    return file.translate(text).value_or(text);
}

void TwindowTranslation::translateAction(QAction *a)
{
    if (!a || a->isSeparator() || busy)
        return;
    busy = true;
    const QString text = tr1(a->text());
    if (text != a->text())
        a->setText(text);
    const QString tip = tr1(a->toolTip());
    if (tip != a->toolTip())
        a->setToolTip(tip);
    busy = false;
}

// Each property set only when its translation differs, so that widgets
// that compare their texts are left alone otherwise.
void TwindowTranslation::translateOne(QWidget *w)
{
    const auto apply = [](const QString &now, const QString &wanted, auto set) {
        if (!now.isEmpty() && wanted != now)
            set(wanted);
    };
    apply(w->windowTitle(), tr1(w->windowTitle()), [w](const QString &s) { w->setWindowTitle(s); });
    apply(w->toolTip(), tr1(w->toolTip()), [w](const QString &s) { w->setToolTip(s); });
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        apply(b->text(), tr1(b->text()), [b](const QString &s) { b->setText(s); });
    else if (auto *l = qobject_cast<QLabel *>(w))
        apply(l->text(), tr1(l->text()), [l](const QString &s) { l->setText(s); });
    else if (auto *g = qobject_cast<QGroupBox *>(w))
        apply(g->title(), tr1(g->title()), [g](const QString &s) { g->setTitle(s); });
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        apply(e->placeholderText(), tr1(e->placeholderText()), [e](const QString &s) { e->setPlaceholderText(s); });
    else if (auto *m = qobject_cast<QMenu *>(w))
        apply(m->title(), tr1(m->title()), [m](const QString &s) { m->setTitle(s); });
    if (auto *t = qobject_cast<QTabWidget *>(w))
        for (int i = 0; i < t->count(); ++i)
            apply(t->tabText(i), tr1(t->tabText(i)), [t, i](const QString &s) { t->setTabText(i, s); });
    if (auto *tree = qobject_cast<QTreeWidget *>(w)) {
        QTreeWidgetItem *h = tree->headerItem();
        for (int i = 0; h && i < h->columnCount(); ++i)
            apply(h->text(i), tr1(h->text(i)), [h, i](const QString &s) { h->setText(i, s); });
    }
    for (QAction *a : w->actions())
        translateAction(a);
}

void TwindowTranslation::translateWidget(QWidget *w)
{
    if (!w || busy)
        return;
    busy = true;
    translateOne(w);
    for (QWidget *child : w->findChildren<QWidget *>())
        translateOne(child);
    busy = false;
}

bool TwindowTranslation::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
        if (watched->isWidgetType())
            translateWidget(static_cast<QWidget *>(watched));
        break;
    case QEvent::ActionAdded:
    case QEvent::ActionChanged:
        translateAction(static_cast<QActionEvent *>(event)->action());
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

std::unique_ptr<TwindowTranslation> installLanguageFile(const QString &folder)
{
    const QString path = QDir(folder).filePath(languageFileName);
    if (!QFileInfo::exists(path)) {
        add2log(QStringLiteral("No %1 beside the program: the windows stay in English").arg(languageFileName));
        return nullptr;
    }
    TlanguageFile file;
    if (!file.load(path)) {
        add2log(QStringLiteral("Localization not supporting your codepage (%1: %2); the windows stay in English")
                    .arg(path, file.error()));
        return nullptr;
    }
    auto t = std::make_unique<TwindowTranslation>(std::move(file));
    t->install();
    add2log(QStringLiteral("Windows translated from %1 (%2 texts)").arg(path).arg(t->language().size()));
    return t;
}
