#pragma once
// A server on a free loopback port with a scripted onEvent.

#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "testClient.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <memory>
#include <vector>

class ServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        srv = std::make_unique<ThttpSrv>();
        srv->setPort(QStringLiteral("0"));
        srv->onEvent = [this](TserverEvent e, ThttpConn *c) {
            events.push_back(e);
            if (handler)
                handler(e, c);
            else if (e == SE_REQUEST)
                serveHello(c);
        };
        ASSERT_TRUE(srv->start(QStringLiteral("127.0.0.1")));
        port = srv->port().toUShort();
        ASSERT_NE(port, 0);
    }

    void TearDown() override { srv.reset(); }

    static void serveHello(ThttpConn *c)
    {
        c->reply().mode = c->request().method == HM_HEAD ? HRM_REPLY_HEADER : HRM_REPLY;
        c->reply().body = "hello " + c->request().url;
    }

    int count(TserverEvent e) const { return int(std::count(events.begin(), events.end(), e)); }

    std::unique_ptr<ThttpSrv> srv;
    quint16 port = 0;
    std::function<void(TserverEvent, ThttpConn *)> handler;
    std::vector<TserverEvent> events;
};
