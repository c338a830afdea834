#include "ui/optionsDialogIconMasksPage.h"

#include "serve/icons.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QVBoxLayout>

TiconMasksPage::TiconMasksPage(Tprompt *askIn, QWidget *parent) : ToptionsPageWidget(askIn, parent)
{
    textBox = new QPlainTextEdit;
    imageBox = new QComboBox;
    initServeResources();
    for (int i = 0; i < builtinIconCount(); ++i) {
        QPixmap p;
        p.loadFromData(iconGif(i));
        imageBox->addItem(QIcon(p), QString::number(i), i);
    }
    connect(textBox, &QPlainTextEdit::cursorPositionChanged, this, &TiconMasksPage::followCaret);
    connect(imageBox, &QComboBox::activated, this, [this](int i) {
        const QString mask = caretLine();
        if (!mask.isEmpty())
            images[mask] = imageBox->itemData(i).toInt();
    });
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Icon associated")));
    row->addWidget(imageBox);
    row->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Each line is a file-mask associated with an icon")));
    layout->addWidget(textBox);
    layout->addLayout(row);
}

void TiconMasksPage::load(const ToptionsCopy &c)
{
    images.clear();
    QStringList lines;
    for (const TiconMask &m : c.iconMasks) {
        lines += m.mask;
        images[m.mask.trimmed()] = m.index;
    }
    textBox->setPlainText(lines.join(u'\n'));
    followCaret();
}

void TiconMasksPage::store(ToptionsCopy &c)
{
    c.iconMasks.clear();
    for (const QString &line : textBox->toPlainText().split(u'\n')) {
        const QString mask = line.trimmed();
        if (!mask.isEmpty())
            c.iconMasks += TiconMask{mask, images.value(mask, 0)};
    }
}

QString TiconMasksPage::caretLine() const
{
    return textBox->textCursor().block().text().trimmed();
}

void TiconMasksPage::followCaret()
{
    const int i = imageBox->findData(images.value(caretLine(), 0));
    if (i >= 0)
        imageBox->setCurrentIndex(i);
}
