#pragma once
// The POST body of the request being received.

#include <QByteArray>
#include <QString>

enum ThttpPostMode { PM_NONE, PM_URLENCODED, PM_MULTIPART };

struct ThttpPost
{
    qint64 length = 0;      // declared body length
    QByteArray boundary;    // "--" and the boundary parameter
    QByteArray header;      // header block of the current multipart part
    QByteArray data;        // what the current event delivers
    QString varname;        // "name" of the current part
    QString filename;       // "filename" of the current part, without any path
    bool filenameHadPath = false; // the client sent a path, cut to its last part
    ThttpPostMode mode = PM_NONE;
};
