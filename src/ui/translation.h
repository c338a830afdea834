#pragma once
// The windows' texts in the operator's language, from the language file
// beside the program. Our widgets set their texts directly, so the texts are
// replaced where they show: a widget's texts (and its children's) when it
// is shown, an action's when it is added or changed, and the main window's
// once a second after its live captions were refreshed. Qt's own texts
// (standard buttons) come through the QTranslator.
#include "util/languageFile.h"

#include <QObject>
#include <QTranslator>

#include <memory>

class QAction;
class QWidget;

class TfileTranslator : public QTranslator
{
public:
    explicit TfileTranslator(const TlanguageFile &file, QObject *parent = nullptr)
        : QTranslator(parent), file(file) {}
    QString translate(const char *context, const char *sourceText, const char *disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return file.isEmpty(); }

private:
    const TlanguageFile &file;
};

class TwindowTranslation : public QObject
{
    Q_OBJECT
public:
    explicit TwindowTranslation(TlanguageFile file, QObject *parent = nullptr);
    ~TwindowTranslation() override;

    // Watches the application's widgets and actions from now on.
    void install();
    // The widget's texts and those of everything in it, its actions too.
    void translateWidget(QWidget *w);
    void translateAction(QAction *a);
    const TlanguageFile &language() const { return file; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void translateOne(QWidget *w);
    QString tr1(const QString &text) const;

    TlanguageFile file;
    std::unique_ptr<TfileTranslator> translator;
    bool busy = false; // our own changes raise the events we watch
};

inline const QString languageFileName = QStringLiteral("zof.lng");
// At start-up: "zof.lng" in `folder` loaded and installed. Without it, or
// when it cannot be used, null and one line in the log; the windows stay
// in English.
std::unique_ptr<TwindowTranslation> installLanguageFile(const QString &folder);
