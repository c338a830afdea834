#pragma once
// Headers that keep what the server sends from being taken for something
// else, and keep files that visitors put on the server from acting as the
// site (reading its pages, sending its forms with the visitor's login).

#include <QByteArrayView>

struct ThttpReply;
class Tfile;

// The content type is what counts.
inline constexpr QByteArrayView noSniffHeader = "X-Content-Type-Options: nosniff";
void addNoSniff(ThttpReply &reply);

// The program's own pages may be framed by the site only. A header the page
// build already set is kept.
void markOwnPage(ThttpReply &reply);

// Whether visitors may have put the file where it is: some real folder that
// holds it, or one above that, lets someone upload.
bool inUploadFolder(const Tfile &file);

// A file the site does not vouch for runs sandboxed, in an opaque origin:
// with `everyFile` (the operator's choice) every file does.
void sandboxFile(ThttpReply &reply, const Tfile &file, bool everyFile);
