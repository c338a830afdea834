#pragma once
// The command line's "--https-self-signed": a self-signed certificate and
// key kept in the configuration folder, offered to the server for when the
// https-cert option names none.

#include <QString>

// The pair's files in the configuration folder.
QString selfSignedCertFile();
QString selfSignedKeyFile();

// Keeps the pair made before or makes one, and hands it to the server.
// False with *error when it can be neither read nor made.
bool useSelfSignedCertificate(QString *error);
