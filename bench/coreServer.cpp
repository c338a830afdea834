// Serves the regular files of one folder with the HTTP core alone:
// zof-bench-core FOLDER PORT [ADDRESS]. Anything else is 404.

#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "util/encodings.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

// The path of the URL below root, or empty when it leaves the folder.
QString localPath(const QString &root, const QByteArray &url)
{
    QByteArray path = url;
    const qsizetype q = path.indexOf('?');
    if (q >= 0)
        path.truncate(q);
    path = percentDecode(path);
    if (!path.startsWith('/') || path.contains('\0'))
        return {};
    for (const QByteArray &seg : path.split('/'))
        if (seg == "..")
            return {};
    return root + QString::fromUtf8(path);
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        fprintf(stderr, "usage: %s FOLDER PORT [ADDRESS]\n", argv[0]);
        return 2;
    }
    const QString root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString address = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("127.0.0.1");

    if (::pipe(signalPipe) != 0)
        return 1;
    QSocketNotifier quitNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    ThttpSrv srv;
    srv.setPort(QString::fromLocal8Bit(argv[2]));
    srv.onEvent = [&root](TserverEvent e, ThttpConn *c) {
        switch (e) {
        case SE_CONNECTED:
            c->setNoDelay(true);
            break;
        case SE_REQUEST: {
            if (c->request().method != HM_GET && c->request().method != HM_HEAD) {
                c->reply().mode = HRM_METHOD_NOT_ALLOWED;
                break;
            }
            const QString path = localPath(root, c->request().url);
            if (path.isEmpty()) {
                c->reply().mode = HRM_NOT_FOUND;
                break;
            }
            c->reply().mode = c->request().method == HM_HEAD ? HRM_REPLY_HEADER : HRM_REPLY;
            c->reply().contentType = "application/octet-stream";
            c->reply().bodyMode = RBM_FILE;
            c->reply().bodyFile = path;
            break;
        }
        case SE_OPEN_FAILED:
            // Missing, a folder or not a regular file.
            c->reply().mode = HRM_NOT_FOUND;
            c->reply().contentType = "text/html; charset=utf-8";
            break;
        default:
            break;
        }
    };
    if (!srv.start(address)) {
        fprintf(stderr, "cannot listen on %s port %s: %s\n", qPrintable(address), argv[2],
                qPrintable(srv.lastError()));
        return 1;
    }
    fprintf(stderr, "serving %s on %s port %s\n", qPrintable(root), qPrintable(address), qPrintable(srv.port()));
    return app.exec();
}
