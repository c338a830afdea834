// A value box is a modal dialog with its own event loop: while it is open
// the server goes on answering, and a download started meanwhile completes.
#include "app/serverSwitch.h"
#include "app/services.h"
#include "config/options.h"
#include "qtPrinters.h"
#include "serve/serve.h"
#include "ui/valuePrompts.h"
#include "ui/widgetPrompt.h"
#include "vfs/vfs.h"

#include <QApplication>
#include <QFile>
#include <QInputDialog>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

TEST(ModalDialog, DownloadCompletesWhileAValueBoxIsOpen)
{
    Tservices services;
    QTemporaryDir dir;
    QByteArray content(3 * 1024 * 1024, '\0');
    for (int i = 0; i < content.size(); ++i)
        content[i] = char((i * 7 + i / 4096) & 0xFF);
    QFile f(dir.path() + QStringLiteral("/big.bin"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    Tvfs::instance().bindRoot(dir.path());
    opts().port = QStringLiteral("0");
    ASSERT_TRUE(startServer());
    const quint16 port = currentPort().toUShort();

    auto previous = setPrompt(std::make_unique<TwidgetPrompt>());
    QTcpSocket client;
    QByteArray received;
    bool dialogOpenAtEnd = false;
    bool finished = false;
    QObject::connect(&client, &QTcpSocket::connected, [&] {
        client.write("GET /big.bin HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    });
    QObject::connect(&client, &QTcpSocket::readyRead, [&] { received += client.readAll(); });
    // The dialog is answered only once the download has ended.
    auto answer = [&] {
        finished = true;
        auto *box = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        dialogOpenAtEnd = box != nullptr;
        if (box) {
            box->setTextValue(QStringLiteral("64"));
            box->accept();
        }
    };
    QObject::connect(&client, &QTcpSocket::disconnected, answer);
    // Started from inside the dialog's own loop.
    QTimer::singleShot(50, [&] { client.connectToHost(QHostAddress::LocalHost, port); });
    QTimer guard; // a download that never ends must not hang the test
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (auto *w = QApplication::activeModalWidget())
            w->close();
    });
    guard.start(15000);

    EXPECT_TRUE(askSpeedLimit(false));
    setPrompt(std::move(previous));
    stopServer();

    ASSERT_TRUE(finished) << "the download did not end while the box was open";
    EXPECT_TRUE(dialogOpenAtEnd);
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    ASSERT_GT(headEnd, 0);
    EXPECT_TRUE(received.startsWith("HTTP/1.1 200")) << received.left(headEnd).toStdString();
    EXPECT_EQ(received.mid(headEnd + 4), content);
    // The answer typed into the box took effect.
    EXPECT_EQ(opts().speedLimit, 64);
}
