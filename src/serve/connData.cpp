#include "serve/connData.h"

#include "http/httpConn.h"
#include "http/speedLimiter.h"
#include "script/macroText.h"
#include "tpl/tpl.h"
#include "vfs/account.h"

TconnData::TconnData(ThttpConn *c)
    : conn(c)
{
    time = lastActivityTime = now();
    if (conn)
        conn->setOwner(this);
}

TconnData::~TconnData()
{
    if (conn && conn->owner() == this)
        conn->setOwner(nullptr);
    if (upload.file) {
        upload.file->close();
        upload.file.reset();
    }
    freeIfTemp(transfer.lastFile);
}

TconnData *TconnData::of(const ThttpConn *c)
{
    // Every owner of a connection is a TconnData: the application attaches
    // nothing else.
    return c ? static_cast<TconnData *>(c->owner()) : nullptr;
}

void TconnData::disconnect(const QString &reason)
{
    disconnectReason = reason;
    if (conn)
        conn->disconnect();
}

void TconnData::logout()
{
    credentials.session.reset();
    credentials.account = nullptr;
    credentials.user.clear();
    credentials.password.clear();
    credentials.accepted = false;
}

bool TconnData::closed() const
{
    return deleting || !conn || conn->state() == HCS_DISCONNECTED;
}

void TconnData::touch()
{
    // Long walks touch at every item: the coarse clock is precise enough for
    // the idle timeout and costs no clock read.
    lastActivityTime = nowCoarse();
}

QString TconnData::urlVar(const QString &name) const
{
    const qsizetype i = request.urlVars.indexOf(name);
    if (i < 0)
        return {};
    const auto &e = request.urlVars.at(i);
    return e.hasSeparator ? disarmMacros(e.value) : QStringLiteral("1");
}
