#pragma once
// Shared by the dialog tests: where screenshots go, and answering a modal
// window that a call is about to open.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <functional>

// ZOF_SCREENSHOT_DIR, else the "Testing" folder beside the test program.
inline QString screenshotDir()
{
    QString dir = qEnvironmentVariable("ZOF_SCREENSHOT_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + QStringLiteral("/Testing");
    QDir().mkpath(dir);
    return dir;
}

// Saves a picture of `w` as NAME.png there; returns the file's path (empty on failure).
inline QString saveScreenshot(QWidget *w, const QString &name)
{
    w->show();
    QApplication::processEvents();
    const QString path = screenshotDir() + u'/' + name + QStringLiteral(".png");
    return w->grab().save(path, "PNG") ? path : QString();
}

// Runs `act` on the modal window once it is open (the call that opens it
// comes next).
template <typename T>
void whenModal(std::function<void(T *)> act)
{
    QTimer::singleShot(0, [act] {
        T *w = qobject_cast<T *>(QApplication::activeModalWidget());
        if (w)
            act(w);
        else if (QWidget *other = QApplication::activeModalWidget())
            other->close();
    });
}
