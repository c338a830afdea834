// A connection record over a real (socket-pair) connection for running the
// request macros, and a macro run with a folder and an item.
#pragma once

#include "http/connTestAccess.h"
#include "http/httpConn.h"
#include "http/httpPost.h"
#include "http/httpRequest.h"
#include "http/httpSrv.h"
#include "script/macroRegistry.h"
#include "script/scriptLib.h"
#include "serve/connData.h"
#include "serve/dispatcher.h"
#include "serve/serveMacros.h"
#include "qtPrinters.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

class TtestRecord
{
public:
    // `head`: the request head without the blank line.
    explicit TtestRecord(ThttpSrv &srv, const QByteArray &head = "GET / HTTP/1.1\r\nHost: x")
    {
        static const bool registered = [] {
            registerRequestMacros(TmacroRegistry::instance());
            return true;
        }();
        Q_UNUSED(registered);
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
        conn = new ThttpConn(&srv, fds[0]);
        cd = std::make_unique<TconnData>(conn);
        conn->request().full = head;
        ThttpPost post;
        ThttpHeadInfo info;
        EXPECT_TRUE(parseRequestHead(conn->request(), post, true, &info));
        const qsizetype q = conn->request().url.indexOf('?');
        if (q >= 0)
            parseQuery(conn->request().url.mid(q + 1), cd->request.urlVars);
        conn->reply().mode = HRM_REPLY;
    }
    ~TtestRecord()
    {
        cd.reset();
        ThttpConn::free(conn);
        ::close(fds[1]);
    }
    TtestRecord(const TtestRecord &) = delete;
    TtestRecord &operator=(const TtestRecord &) = delete;

    void setPeer(const QString &address, const QString &port)
    {
        ThttpConnTestAccess::setPeer(*conn, address, port);
        cd->address = address;
    }

    int fds[2] = {-1, -1};
    ThttpConn *conn = nullptr;
    std::unique_ptr<TconnData> cd;
};

// Expands `text` as a page would, quote markers removed.
inline QString expand(const QString &text, TmacroConn *cd, Tfile *folder = nullptr, Tfile *f = nullptr)
{
    TmacroData md;
    md.cd = cd;
    md.tpl = std::make_shared<Ttpl>();
    md.folder = folder;
    md.f = f;
    QString t = text;
    runMacroText(t, md, true);
    return t;
}

inline QString cannotHere(const char *name)
{
    return macroErrorText(QString::fromLatin1(name), QStringLiteral("cannot be used here"));
}
