#pragma once
// A self-signed certificate for HTTPS without a certificate authority: an
// EC P-256 key and a certificate for the host name, localhost and
// 127.0.0.1, written as PEM files only their owner can read.

#include <QString>

// Writes a new key and certificate to keyFile and certFile (mode 0600).
// False with *error on failure; no half-written pair is left behind.
bool makeSelfSigned(const QString &certFile, const QString &keyFile, const QString &hostName, QString *error);

// Keeps a pair made before, else makes one.
bool ensureSelfSigned(const QString &certFile, const QString &keyFile, const QString &hostName, QString *error);
