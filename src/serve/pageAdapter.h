#pragma once
// Pages built from templates (src/pages) plugged into request handling: the
// page context over the connection record, and the page hooks that build
// folder pages, file lists and special pages with the real templates.

#include "pages/pageContext.h"
#include "serve/serveHooks.h"

class TconnData;

class TpageAdapter final : public TpageContext
{
public:
    explicit TpageAdapter(TconnData &cd) : cd(&cd) {}
    void rebind(TconnData &c) { cd = &c; }

    TmacroConn *macroConn() override;
    QString user() const override;
    QString pwd() const override;
    QString urlVar(const QString &name) const override;
    bool hasBareUrlVar(const QString &name) const override;
    bool closed() const override;
    void touch() override;
    QString address() const override;
    int port() const override;
    QString host() const override;
    QString requestUrl() const override;
    QString requestHeader(const QString &name) const override;
    QString userNotes() const override;
    QString formToken() const override;
    qint64 streamSize() const override;
    bool isArchive() const override;
    TtplPtr ownTemplate() const override;
    QString banReason() const override;
    QString disconnectReason() const override;
    QList<TpageUpload> takeUploadResults() override;
    QList<TpageTransfer> transfersOfAddress() const override;
    bool replyIsPlain() const override;
    void setReplyMode(TpageMode mode) override;
    void addReplyHeader(const QString &name, const QString &value) override;
    void setContentType(const QString &type) override;
    QString contentTypeFor(const QString &fileName) const override;
    void setPageBody(const QByteArray &body) override { pageBody = body; }
    void setDontLog() override;

    QByteArray pageBody; // the page as built; the dispatcher sends it

private:
    TconnData *cd;
};

class TtplPageHooks final : public TpageHooks
{
public:
    QString specialPage(TconnData &cd, const QString &name, Tfile *folder, const TtplPtr &tpl) override;
    TtplPtr downloadManagerTemplate() override;
    QString folderPage(TconnData &cd, Tfile &folder, const TtplPtr &tpl) override;
    QString fileList(TconnData &cd, Tfile &folder) override;
};

// Copies the options pages and listings read from the configuration.
void syncPageOptions();
// Installs the built-in templates, the symbols and the page hooks (the
// program's step for built-in templates).
void installPageHooks();
