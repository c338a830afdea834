#include "ui/trayIcon.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

TtrayIcon::TtrayIcon(QObject *parent) : QObject(parent), icon(new QSystemTrayIcon(this))
{
    connect(icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
        if (!onEvent)
            return;
        switch (why) {
        case QSystemTrayIcon::Trigger:
            onEvent(*this, TE_LEFT_UP);
            break;
        case QSystemTrayIcon::DoubleClick:
            onEvent(*this, TE_DOUBLE_CLICK);
            break;
        case QSystemTrayIcon::Context:
            onEvent(*this, TE_RIGHT_UP);
            break;
        default:
            break;
        }
    });
}

TtrayIcon::~TtrayIcon() = default;

bool TtrayIcon::setTip(const QString &tipIn)
{
    const QString t = cutTrayTip(tipIn);
    if (t == icon->toolTip())
        return false;
    icon->setToolTip(t);
    return true;
}

QString TtrayIcon::tip() const
{
    return icon->toolTip();
}

void TtrayIcon::setPicture(const QIcon &p)
{
    icon->setIcon(p);
}

QIcon TtrayIcon::picture() const
{
    return icon->icon();
}

void TtrayIcon::show()
{
    isShown = true;
    icon->show();
}

void TtrayIcon::hide()
{
    isShown = false;
    icon->hide();
}

TtrayBalloon TtrayIcon::balloon(const QString &message, double seconds, TtrayMessageType kind, const QString &title)
{
    last = trayBalloon(message, seconds, title);
    QSystemTrayIcon::MessageIcon picture = QSystemTrayIcon::NoIcon;
    switch (kind) {
    case TM_INFO: picture = QSystemTrayIcon::Information; break;
    case TM_WARNING: picture = QSystemTrayIcon::Warning; break;
    case TM_ERROR: picture = QSystemTrayIcon::Critical; break;
    case TM_NONE: break;
    }
    icon->showMessage(last.title, last.message, picture, last.timeoutMs);
    return last;
}

namespace {

constexpr int trayPictureSize = 32;

// Text as large as fits the picture, white on a dark outline so it reads
// on light and dark panels alike.
void drawTrayText(QPainter &p, const QString &text)
{
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(text.size() <= 2 ? 22 : text.size() == 3 ? 16 : 12);
    p.setFont(f);
    const QRect r(0, 0, trayPictureSize, trayPictureSize);
    p.setPen(Qt::black);
    for (const QPoint d : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)})
        p.drawText(r.translated(d), Qt::AlignCenter, text);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, text);
}

} // namespace

QIcon programPicture()
{
    QPixmap pm(trayPictureSize, trayPictureSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x2a, 0x6f, 0xb8));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRect(1, 1, trayPictureSize - 2, trayPictureSize - 2), 6, 6);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(13);
    p.setFont(f);
    p.drawText(QRect(0, 0, trayPictureSize, trayPictureSize), Qt::AlignCenter, QStringLiteral("ZOF"));
    p.end();
    return QIcon(pm);
}

QIcon trayCounterPicture(const QString &text, const QIcon &base)
{
    QPixmap pm = base.pixmap(trayPictureSize, trayPictureSize);
    if (pm.isNull()) {
        pm = QPixmap(trayPictureSize, trayPictureSize);
        pm.fill(Qt::transparent);
    }
    if (text.isEmpty())
        return QIcon(pm);
    // The number hides the program's own label, which the panel's entry
    // names anyway.
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2a, 0x6f, 0xb8));
    p.drawRoundedRect(QRect(1, 1, trayPictureSize - 2, trayPictureSize - 2), 6, 6);
    drawTrayText(p, text);
    p.end();
    return QIcon(pm);
}

QIcon trayPercentPicture(int percent)
{
    const int pc = qBound(0, percent, 100);
    QPixmap pm(trayPictureSize, trayPictureSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x40, 0x40, 0x40));
    p.drawRect(0, 0, trayPictureSize, trayPictureSize);
    p.setBrush(QColor(0x2e, 0xa0, 0x43));
    const int h = trayPictureSize * pc / 100;
    p.drawRect(0, trayPictureSize - h, trayPictureSize, h);
    drawTrayText(p, QString::number(pc) + u'%');
    p.end();
    return QIcon(pm);
}
