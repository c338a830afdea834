#pragma once
// State of one dispatch, shared by the files that implement its steps.

#include "http/httpConn.h"
#include "serve/connData.h"
#include "serve/serve.h"

struct Tdispatch
{
    TconnData &cd;
    ThttpConn &conn;
    ThttpReply &reply;
    Tserve &s;
    QString path;     // decoded path (shortened to its folder for a special name)
    QString fullPath; // decoded path as requested
    QString mode;
    QString special;
    TfilePtr node;

    Tdispatch(TconnData &d)
        : cd(d), conn(*d.conn), reply(d.conn->reply), s(serve())
    {
    }
    // Steps up to the credential check; false when one of them answered.
    bool beforeResolution();
    // Resolution to the end.
    void resolveAndAnswer();

private:
    bool iconRequest(const QString &after);
    void replyIcon(int index);
    bool sectionRequest();
    bool refererRefused();
    void folderPage();
    void deleteAction();
};
