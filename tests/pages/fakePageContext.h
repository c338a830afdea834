#pragma once

// A connection seen only through the page interface: a quiet client on the
// loopback asking for "/". Tests override what they look at.

#include "pages/pageContext.h"
#include "script/macroData.h"

class TfakePageContext : public TmacroConn, public TpageContext {
public:
    TmacroConn *macroConn() override { return this; }
    QString user() const override { return {}; }
    QString pwd() const override { return {}; }
    QString urlVar(const QString &) const override { return {}; }
    bool hasBareUrlVar(const QString &) const override { return false; }
    bool closed() const override { return false; }
    void touch() override {}
    QString address() const override { return QStringLiteral("127.0.0.1"); }
    int port() const override { return 1; }
    QString host() const override { return {}; }
    QString requestUrl() const override { return QStringLiteral("/"); }
    QString requestHeader(const QString &) const override { return {}; }
    QString userNotes() const override { return {}; }
    QString formToken() const override { return QStringLiteral("T0KEN"); }
    qint64 streamSize() const override { return 0; }
    bool isArchive() const override { return false; }
    TtplPtr ownTemplate() const override { return {}; }
    QString banReason() const override { return {}; }
    QString disconnectReason() const override { return {}; }
    QList<TpageUpload> takeUploadResults() override { return {}; }
    QList<TpageTransfer> transfersOfAddress() const override { return {}; }
    bool replyIsPlain() const override { return true; }
    void setReplyMode(TpageMode) override {}
    void addReplyHeader(const QString &, const QString &) override {}
    void setContentType(const QString &) override {}
    QString contentTypeFor(const QString &) const override { return {}; }
    void setPageBody(const QByteArray &) override {}
    void setDontLog() override {}
};
