#pragma once
// A body whose next bytes may lie in a file exactly as they are to be sent:
// the sender can then hand them to the kernel (sendfile) instead of copying
// them through memory. Archives built while they are sent are such bodies:
// their files' data lie in the files, between generated headers.
#include <QtGlobal>

class TfileRegionSource
{
public:
    virtual ~TfileRegionSource() = default;
    // The file bytes at the body's current position: the descriptor, the
    // offset in the file and how many bytes follow there. False when the
    // next bytes must be read (generated ones, or a file that fell short);
    // `length` then says how many to read before a region may start (-1:
    // no region ahead), so that reading stops short of one.
    virtual bool currentFileRegion(int &fd, qint64 &offset, qint64 &length) = 0;
    // `n` bytes of that region went out: the position moves past them.
    virtual void regionSent(qint64 n) = 0;
    // The file gave fewer bytes than its region announced: what is missing
    // must come through reading (as zeros) instead.
    virtual void regionShort() = 0;
};
