#pragma once
// The once-a-second speed bookkeeping of the transfers under way: the
// samples behind the pages' speed and time left, and the send buffer that
// "high speed handling" gives a fast download.

class ThttpConn;
class TconnData;

enum TtransferKind { TK_NONE, TK_UPLOAD, TK_DOWNLOAD };

// An upload is a file part being posted; a download a file or an archive
// being sent.
TtransferKind transferUnderWay(const ThttpConn &c, const TconnData &d);

// Adds a speed sample to the transfer under way (input speed and bytes
// still to post for an upload, output speed and bytes still to send for a
// download) and updates the record's average speed. Returns the kind.
TtransferKind sampleTransferSpeed(const ThttpConn &c, TconnData &d);

// The send buffer for a download at `averageSpeed` (bytes per second): the
// speed held between 8 KiB and 1 MiB, when that is more than twice the
// buffer it has; else 0 (left as it is). Buffers only grow.
int highSpeedSendBuffer(double averageSpeed, int currentBuffer);
