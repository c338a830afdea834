#include "ui/optionsDialogTrayMessagePage.h"

#include "app/trayTip.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TtrayMessagePage::TtrayMessagePage(Tprompt *askIn, QWidget *parent) : ToptionsPageWidget(askIn, parent)
{
    auto *help = new QLabel(QStringLiteral(
        "You can customize the message in the tray icon tip. \n"
        "The message length is determined by your Windows version\n"
        "(in XP the limit is 127 characters including spaces).\n"
        "Available symbols:\n"
        "%uptime%\n%url%\n%ip%\n%port%\n%hits%\n%downloads%\n%uploads%\n%version%\n%build%"));
    textBox = new QPlainTextEdit;
    preview = new QLabel;
    preview->setObjectName(QStringLiteral("trayPreview"));
    preview->setFrameShape(QFrame::Box);
    connect(textBox, &QPlainTextEdit::textChanged, this, &TtrayMessagePage::updatePreview);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(help);
    layout->addWidget(textBox);
    layout->addWidget(new QLabel(QStringLiteral("Preview")));
    layout->addWidget(preview);
}

void TtrayMessagePage::load(const ToptionsCopy &c)
{
    textBox->setPlainText(c.trayMessage);
}

void TtrayMessagePage::store(ToptionsCopy &c)
{
    c.trayMessage = textBox->toPlainText();
}

void TtrayMessagePage::updatePreview()
{
    // The template keeps CR between lines, as stored.
    const QString tpl = textBox->toPlainText().replace(u'\n', u'\r');
    preview->setText(trayTipNow(tpl).replace(u'\r', u'\n'));
}
