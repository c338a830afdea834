#pragma once
// The single-byte code page (Windows-1252) used for bytes that are not valid
// UTF-8: old stored files, URLs typed by old clients.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

QString codePageToText(QByteArrayView bytes);
// Characters without a code-page byte become "?".
QByteArray textToCodePage(QStringView text);
